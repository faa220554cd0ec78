// A pixel's history: the messages that drew on a screen pixel or changed
// what it shows, latest first, each with the colour shown right after it
// (checked against a fresh replay up to that message) and the layer it drew
// on. Sessions go through the real renderer and its timeline.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pixels/work.h"
#include "render/replay.h"
#include "render_support.h"

namespace {

// One entry as a line: "m3 DrawRect (r,g,b,a) drew on the screen at 20,20".
std::string Describe(const HistoryEntry& e) {
  std::string line = "m" + std::to_string(e.message) + " " + e.command + " " + Rgba(e.colour);
  if (!e.drew) return line + " changed";
  if (e.layer == 0) return line + " drew on the screen at " + std::to_string(e.lx) + "," + std::to_string(e.ly);
  return line + " drew on sprite " + std::to_string(e.layer) + " \"" + e.spriteName + "\" at " + std::to_string(e.lx) +
         "," + std::to_string(e.ly);
}

std::vector<std::string> Described(const History& h) {
  std::vector<std::string> lines;
  for (const HistoryEntry& e : h.entries) lines.push_back(Describe(e));
  return lines;
}

// What an entry must say of message `m`: its colour from a fresh replay.
std::string Expect(Replay& replay, int32_t x, int32_t y, int64_t m, const std::string& command,
                   const std::string& drew) {
  replay.At(m);
  return "m" + std::to_string(m) + " " + command + " " + Rgba(replay.OverBlack(x, y)) + " " + drew;
}

TEST(PixelHistory, EachDrawingAndChangeOverThePixelLatestFirst) {
  Live l;
  l.Join(1);
  const std::vector<Bytes> session = {
      msg::Resolution(64, 48),                                  // 1
      msg::Colour(255, 0, 0, 200),                              // 2
      msg::Rect(10, 10, 20, 20, true),                          // 3: drew
      msg::Colour(0, 255, 0, 128),                              // 4
      msg::Line(0, 20, 63, 20),                                 // 5: drew
      msg::Colour(0, 0, 255, 100),                              // 6
      msg::Ellipse(12, 12, 16, 16, true),                       // 7: drew
      msg::Create("s", 10, 10),                                 // 8: lies at 0,0, away from the pixel
      msg::Edit("s"),                                           // 9
      msg::Colour(255, 255, 0),                                 // 10
      msg::Rect(0, 0, 10, 10, true),                            // 11
      msg::Clear(),                                             // 12: clears the sprite, away from the pixel
      msg::Rect(0, 0, 10, 10, true),                            // 13
      msg::Bound(15, 15),                                       // 14: moved over it
      msg::Alpha(128),                                          // 15
      msg::Edit(""),                                            // 16
      msg::Background("backgrounds/sky.png", 255),              // 17: under the translucent drawing
      msg::Edit("s"),                                           // 18
      msg::Colour(255, 0, 255),                                 // 19
      msg::Point(5, 5),                                         // 20: drew on the sprite
      msg::Edit(""),                                            // 21
      msg::ImageScaled("images/logo.png", 0, 0, 64, 48, 255),  // 22: drew
      msg::Image("images/logo.png", 16, 16),                    // 23: drew
      msg::Point(40, 40),                                       // 24
  };
  for (const Bytes& m : session) l.Send(m);
  ASSERT_TRUE(l.Rendered());
  Replay replay(l.steps);

  const History h = l.pipeline.PixelHistoryAt(20, 20, 24);
  EXPECT_EQ(h.message, 24);
  EXPECT_TRUE(h.onScreen);
  const std::string screen = "drew on the screen at 20,20";
  const std::vector<std::string> expected = {
      Expect(replay, 20, 20, 23, "DrawImage", screen),
      Expect(replay, 20, 20, 22, "DrawImageScaled", screen),
      Expect(replay, 20, 20, 20, "DrawPixel", "drew on sprite 1 \"s\" at 5,5"),
      Expect(replay, 20, 20, 17, "SetBackground", "changed"),
      Expect(replay, 20, 20, 15, "SetAlpha", "changed"),
      Expect(replay, 20, 20, 14, "SetBound", "changed"),
      Expect(replay, 20, 20, 7, "DrawEllipse", screen),
      Expect(replay, 20, 20, 5, "DrawLine", screen),
      Expect(replay, 20, 20, 3, "DrawRect", screen),
  };
  EXPECT_EQ(Described(h), expected);
  EXPECT_EQ(h.total, 9);
  ASSERT_FALSE(h.entries.empty());
  EXPECT_EQ(h.entries.back().colour, Opaque(200, 0, 0));  // (255,0,0) at 200 over black

  // Up to a message, only what came before it.
  const History at7 = l.pipeline.PixelHistoryAt(20, 20, 7);
  EXPECT_EQ(Described(at7), std::vector<std::string>(expected.end() - 3, expected.end()));

  // A pixel nothing touched (before the background covered every pixel).
  const History untouched = l.pipeline.PixelHistoryAt(60, 2, 16);
  EXPECT_TRUE(untouched.entries.empty()) << testing::PrintToString(Described(untouched));
  EXPECT_EQ(untouched.total, 0);
  // Off the screen since the resolution took it off: only that, and said so.
  const History off = l.pipeline.PixelHistoryAt(64, 2, 24);
  EXPECT_FALSE(off.onScreen);
  EXPECT_EQ(Described(off), std::vector<std::string>{"m1 SetResolution (0,0,0,0) changed"});
}

TEST(PixelHistory, APixelDrawnThreeThousandTimesListsTheLatestThousand) {
  Live l;
  l.Join(1);
  l.Send(msg::Resolution(64, 48));
  for (int32_t i = 0; i < 3000; ++i) {
    l.Send(msg::Colour(i % 256, i / 256, 7));
    l.Send(msg::Point(5, 5));
    l.Send(msg::Point(6, 5));
  }
  ASSERT_TRUE(l.Rendered());
  const History h = l.pipeline.PixelHistoryAt(5, 5, l.Messages());
  EXPECT_EQ(h.total, 3000);
  ASSERT_EQ(h.entries.size(), kMaxHistoryEntries);
  EXPECT_EQ(h.entries.front().message, l.Messages() - 1);
  EXPECT_EQ(h.entries.back().message, 1 + 3 * 2000 + 2);
  EXPECT_EQ(h.entries.front().colour, Opaque(2999 % 256, 2999 / 256, 7));
  for (size_t i = 1; i < h.entries.size(); ++i) {
    ASSERT_EQ(h.entries[i - 1].message - h.entries[i].message, 3) << i;
    ASSERT_EQ(h.entries[i].command, "DrawPixel");
  }
}

TEST(PixelHistory, ASpriteDrawnElsewhereListsTheMoveThatBringsItOver) {
  Live l;
  l.Join(1);
  for (const Bytes& m : {msg::Resolution(64, 48), msg::Create("t", 8, 8), msg::Edit("t"), msg::Bound(40, 30),
                         msg::Colour(0, 255, 255), msg::Rect(0, 0, 8, 8, true), msg::Point(3, 3),  // 7
                         msg::Bound(2, 2),                                                          // 8
                         msg::Visible(0), msg::Colour(255, 0, 0), msg::Point(3, 3),                 // 11: hidden
                         msg::Visible(1)}) {                                                        // 12
    l.Send(m);
  }
  ASSERT_TRUE(l.Rendered());
  Replay replay(l.steps);
  const History h = l.pipeline.PixelHistoryAt(5, 5, l.Messages());
  EXPECT_EQ(Described(h), (std::vector<std::string>{Expect(replay, 5, 5, 12, "SetVisible", "changed"),
                                                    Expect(replay, 5, 5, 9, "SetVisible", "changed"),
                                                    Expect(replay, 5, 5, 8, "SetBound", "changed")}));
  EXPECT_EQ(h.entries.back().colour, Opaque(0, 255, 255));
  EXPECT_EQ(h.entries.front().colour, Opaque(255, 0, 0));
}

// Blocks that left the pixel alone are passed over from checkpoint to
// checkpoint: a sprite drawn over and over away from the pixel costs the
// history nothing, and its surface is still right when it moves over.
TEST(PixelHistory, BlocksThatLeftThePixelAloneArePassedOver) {
  Live l;
  l.Join(1);
  for (const Bytes& m : {msg::Resolution(128, 128), msg::Point(100, 100), msg::Create("s", 64, 64), msg::Edit("s")}) {
    l.Send(m);
  }
  constexpr int32_t kRounds = 3 * int32_t(kBlockEntries);
  for (int32_t i = 0; i < kRounds; ++i) {
    l.Send(msg::Colour(i % 256, 99, 7));
    l.Send(msg::Rect(0, 0, 64, 64, true));
  }
  l.Send(msg::Bound(100, 100));
  ASSERT_TRUE(l.Rendered());
  Replay replay(l.steps);
  const int64_t rows = WorkOnThisThread().shapeRows;
  const History h = l.pipeline.PixelHistoryAt(100, 100, l.Messages());
  EXPECT_LT(WorkOnThisThread().shapeRows - rows, 64 * int64_t(kBlockEntries)) << "of " << 64 * kRounds;
  EXPECT_EQ(Described(h), (std::vector<std::string>{Expect(replay, 100, 100, l.Messages(), "SetBound", "changed"),
                                                    Expect(replay, 100, 100, 2, "DrawPixel", "drew on the screen at 100,100")}));
  EXPECT_EQ(h.entries.front().colour, Opaque((kRounds - 1) % 256, 99, 7));
}

}  // namespace
