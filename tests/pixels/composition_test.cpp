// What the screen shows, bottom to top: the background stretched at its
// alpha, the screen's drawing, then the visible sprites by z and creation
// order at their alpha, each where its bound and O-point put it. Pictures
// against golden PNGs in tests/golden, and the pixels the documented reading
// fixes; a tile composed looks only at the sprites over it. VESPRINE_WRITE_GOLDEN=1 in the environment writes the goldens
// instead of comparing (look at each).
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pixels/png.h"
#include "pixels/work.h"
#include "render_support.h"

namespace {

// A sprite made by the current client, filled with one colour.
std::vector<Bytes> Filled(const std::string& name, int32_t w, int32_t h, Pixel colour) {
  return {msg::Create(name, w, h), msg::Edit(name), msg::Colour(colour.r, colour.g, colour.b, colour.a),
          msg::Rect(0, 0, w, h, true)};
}

void SendAll(Screen& s, const std::vector<Bytes>& messages) {
  for (const Bytes& m : messages) s.Send(m);
}

TEST(Composition, SpritesByZThenCreationOrderAndHiddenOnesNot) {
  Screen s;
  s.Send({msg::Resolution(96, 64), msg::Colour(60, 60, 60), msg::Rect(0, 0, 96, 64, true)});
  SendAll(s, Filled("A", 30, 30, Opaque(255, 0, 0)));
  s.Send(msg::Bound(10, 10));
  SendAll(s, Filled("B", 30, 30, Opaque(0, 255, 0)));
  s.Send({msg::Bound(20, 20), msg::Z(-1)});
  SendAll(s, Filled("C", 30, 30, Opaque(0, 0, 255)));
  s.Send(msg::Bound(30, 14));
  SendAll(s, Filled("D", 30, 20, Opaque(255, 255, 0)));
  s.Send({msg::Bound(40, 30), msg::Z(1)});
  SendAll(s, Filled("E", 20, 20, Opaque(255, 255, 255)));
  s.Send({msg::Bound(5, 40), msg::Visible(0)});
  EXPECT_TRUE(MatchesGolden("sprite_order", s.Png()));

  EXPECT_TRUE(s.Shows({
      {15, 15, Opaque(255, 0, 0)},
      {25, 25, Opaque(255, 0, 0)},    // A (z 0) over B (z -1)
      {35, 25, Opaque(0, 0, 255)},    // C over A: same z, created later
      {45, 22, Opaque(0, 0, 255)},    // C over B
      {45, 35, Opaque(255, 255, 0)},  // D (z 1) over all
      {22, 45, Opaque(0, 255, 0)},    // E hidden
      {8, 50, Opaque(60, 60, 60)},
  }));
  // Created anew, A is the latest in creation order: over C at the same z.
  SendAll(s, Filled("A", 30, 30, Opaque(255, 0, 255)));
  s.Send(msg::Bound(30, 14));
  EXPECT_EQ(s.OverBlack(35, 25), Opaque(255, 0, 255));
  EXPECT_EQ(s.OverBlack(15, 15), Opaque(60, 60, 60));
  s.Send({msg::Edit("E"), msg::Visible(1)});
  EXPECT_EQ(s.OverBlack(8, 50), Opaque(255, 255, 255));
}

TEST(Composition, SpriteAlphaFadesTheSpriteAndItsDrawing) {
  Screen s;
  s.Send({msg::Resolution(64, 48), msg::Rect(0, 0, 64, 48, true)});
  SendAll(s, Filled("P", 20, 20, Opaque(255, 0, 0)));
  s.Send({msg::Bound(4, 4), msg::Alpha(128)});
  SendAll(s, Filled("Q", 20, 20, Opaque(255, 0, 0)));
  s.Send({msg::Bound(28, 4), msg::Alpha(0)});
  SendAll(s, Filled("R", 20, 20, Pixel{255, 0, 0, 128}));
  s.Send({msg::Bound(4, 26), msg::Alpha(128)});
  SendAll(s, Filled("T", 20, 20, Opaque(0, 0, 255)));
  s.Send({msg::Bound(28, 26), msg::Alpha(300)});
  EXPECT_TRUE(MatchesGolden("sprite_alpha", s.Png()));

  EXPECT_TRUE(s.Shows({
      {10, 10, Opaque(255, 127, 127)},  // red at 128 over white
      {34, 10, Opaque(255, 255, 255)},  // alpha 0: not shown
      {10, 30, Opaque(255, 191, 191)},  // (128,0,0,128) at 128: (64,0,0,64) over white
      {34, 30, Opaque(0, 0, 255)},      // alpha clamped to 255
  }));
}

TEST(Composition, TheBoundPlacesTheOPoint) {
  Screen s;
  s.Send(msg::Resolution(64, 48));
  SendAll(s, Filled("a", 16, 12, Opaque(255, 128, 0)));
  s.Send({msg::Colour(255, 255, 255), msg::Point(0, 0), msg::Point(15, 11), msg::OPoint(8, 6), msg::Bound(40, 30)});
  SendAll(s, Filled("b", 10, 10, Opaque(0, 200, 255)));
  s.Send({msg::OPoint(-4, -4), msg::Bound(10, 30)});
  SendAll(s, Filled("c", 16, 12, Opaque(0, 255, 0)));
  s.Send(msg::Bound(-8, -6));
  EXPECT_TRUE(MatchesGolden("bound_opoint", s.Png()));

  // The sprite's pixel (ox, oy) lies at the bound: its top-left at (40 - 8, 30 - 6).
  EXPECT_TRUE(s.Shows({
      {32, 24, Opaque(255, 255, 255)},
      {47, 35, Opaque(255, 255, 255)},
      {33, 24, Opaque(255, 128, 0)},
      {31, 23, Opaque(0, 0, 0)},
      {48, 36, Opaque(0, 0, 0)},
      {14, 34, Opaque(0, 200, 255)},
      {23, 43, Opaque(0, 200, 255)},
      {13, 33, Opaque(0, 0, 0)},
  }));
  EXPECT_EQ(s.Mask(0, 0, 9, 7), (std::vector<std::string>{"########.", "########.", "########.", "########.",
                                                          "########.", "########.", "........."}));
}

TEST(Composition, TheBackgroundIsStretchedUnderEverythingAtItsAlpha) {
  Screen s;
  s.Send({msg::Resolution(96, 64), msg::Background("backgrounds/sky.png", 160), msg::Colour(255, 255, 255, 96),
          msg::Rect(8, 8, 30, 20, true)});
  SendAll(s, Filled("s", 20, 20, Pixel{0, 0, 0, 0}));
  s.Send({msg::Colour(255, 0, 0), msg::Ellipse(0, 0, 20, 20, true), msg::Bound(60, 30)});
  EXPECT_TRUE(MatchesGolden("background_alpha", s.Png()));
  EXPECT_TRUE(MatchesGolden("background_alpha_overlay", s.Png(true)));
  EXPECT_TRUE(s.Warnings().empty());

  int32_t w = 0, h = 0;
  std::vector<Pixel> sky;
  ASSERT_TRUE(DecodePng(ReadFile(ExamplesFolder() + "/backgrounds/sky.png"), w, h, sky));
  ASSERT_EQ(w, 64);
  ASSERT_EQ(h, 48);
  // Pixel (x, y) of the screen shows pixel ((2x + 1)·64 / 192, (2y + 1)·48 / 128) at 160/255.
  EXPECT_TRUE(s.RegionShows(40, 0, 20, 30, [&](int32_t i, int32_t j) {
    const Pixel p = sky[size_t((2 * j + 1) * 48 / 128) * 64 + size_t((2 * (40 + i) + 1) * 64 / 192)];
    const auto scale = [](int c, int by) { return uint8_t((c * by + 127) / 255); };
    return Opaque(scale(scale(p.r, p.a), 160), scale(scale(p.g, p.a), 160), scale(scale(p.b, p.a), 160));
  }));
  EXPECT_EQ(s.OverBlack(70, 40), Opaque(255, 0, 0));
  const std::vector<Pixel> overlay = Picture(s.Frame(), true);
  EXPECT_EQ(overlay[5 * 96 + 45].a, 160);
  EXPECT_EQ(overlay[40 * 96 + 70], (Pixel{255, 0, 0, 255}));
}

TEST(Composition, ANewResolutionKeepsTheDrawingFromTheTopLeft) {
  Screen s;
  s.Send({msg::Resolution(64, 48), msg::Colour(0, 128, 255), msg::Rect(0, 0, 64, 48, true), msg::Colour(255, 255, 0),
          msg::Ellipse(4, 4, 56, 40, false), msg::Colour(255, 0, 0), msg::Line(0, 0, 63, 47)});
  SendAll(s, Filled("s", 10, 10, Opaque(255, 255, 255)));
  s.Send({msg::Bound(50, 36), msg::Edit("")});
  s.Send(msg::Resolution(48, 32));
  EXPECT_TRUE(MatchesGolden("resolution_smaller", s.Png()));
  EXPECT_EQ(s.OverBlack(47, 31), Opaque(0, 128, 255));

  // Growing again finds what was cut off gone; sprites keep their place.
  s.Send(msg::Resolution(96, 64));
  EXPECT_TRUE(MatchesGolden("resolution_larger", s.Png()));
  EXPECT_TRUE(s.Shows({
      {2, 20, Opaque(0, 128, 255)},
      {5, 4, Opaque(255, 0, 0)},
      {47, 31, Opaque(0, 128, 255)},
      {48, 31, Opaque(0, 0, 0)},
      {47, 32, Opaque(0, 0, 0)},
      {50, 5, Opaque(0, 0, 0)},
      {55, 40, Opaque(255, 255, 255)},
      {80, 60, Opaque(0, 0, 0)},
  }));
  EXPECT_TRUE(s.Warnings().empty());
}

TEST(Composition, ATileLooksOnlyAtTheSpritesOverIt) {
  Screen s;
  s.Send(msg::Resolution(512, 512));
  // 1,000 sprites of 6×6, each of its own colour; a sprite can be over the
  // rows of the tiles it lies on, four tiles at most.
  int64_t rows = 0;
  const auto place = [](int i) { return std::pair<int32_t, int32_t>{i % 40 * 12 + 3, i / 40 * 20 + 1}; };
  const auto colour = [](int i) { return Opaque(uint8_t(i), uint8_t(i / 4), 200); };
  for (int i = 0; i < 1000; ++i) {
    SendAll(s, Filled("s" + std::to_string(i), 6, 6, colour(i)));
    const auto [x, y] = place(i);
    s.Send(msg::Bound(x, y));
    rows += 64 * ((x + 5) / 64 - x / 64 + 1) * ((y + 5) / 64 - y / 64 + 1);
  }
  const int64_t before = WorkOnThisThread().spriteRows;
  const Layer frame = s.Frame();
  EXPECT_LE(WorkOnThisThread().spriteRows - before, rows);
  for (int i = 0; i < 1000; ++i) {
    const auto [x, y] = place(i);
    EXPECT_EQ(frame.At(x, y), colour(i)) << i;
    EXPECT_EQ(frame.At(x + 5, y + 5), colour(i)) << i;
    EXPECT_EQ(frame.At(x + 6, y + 6), (Pixel{})) << i;
  }
}

}  // namespace
