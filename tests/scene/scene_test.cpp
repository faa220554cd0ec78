// The scene: what each command does to the display state, each client's
// own colour, encoding and current sprite, every warning and every limit.
// Messages are real ones, decoded as the monitor decodes them.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render_support.h"

namespace {

constexpr Pixel kWhite{255, 255, 255, 255};
constexpr Pixel kNone{0, 0, 0, 0};

class SceneTest : public testing::Test {
 protected:
  void Send(const Bytes& message, int64_t client = 1) { s.Send(message, client); }

  const Sprite& Named(const std::string& name) {
    for (const Sprite& sprite : s.scene.sprites) {
      if (sprite.name == name) return sprite;
    }
    ADD_FAILURE() << "no sprite named " << name;
    static const Sprite none;
    return none;
  }

  std::string LastLog() const { return s.scene.logs.empty() ? "" : s.scene.logs.back()->text; }

  Screen s;
};

TEST_F(SceneTest, EachClientDrawsInItsOwnColourWhiteAtFirstAndClamped) {
  Send(msg::Point(1, 1), 1);
  Send(msg::Colour(300, -5, 128, 999), 2);
  Send(msg::Point(2, 2), 2);
  Send(msg::Point(3, 3), 1);
  Send(msg::Colour(10, 20, 30, -1), 3);
  Send(msg::Point(4, 4), 3);
  EXPECT_EQ(s.scene.screen.At(1, 1), kWhite);
  EXPECT_EQ(s.scene.screen.At(2, 2), (Pixel{255, 0, 128, 255}));
  EXPECT_EQ(s.scene.screen.At(3, 3), kWhite);
  EXPECT_EQ(s.scene.screen.At(4, 4), kNone);  // alpha clamped to 0 draws nothing
  const Colour c = s.scene.clients[2].colour;
  EXPECT_EQ(std::vector<int>({c.r, c.g, c.b, c.a}), (std::vector<int>{255, 0, 128, 255}));
  EXPECT_TRUE(s.Warnings().empty());
}

TEST_F(SceneTest, DrawingGoesToTheClientsCurrentSpriteInItsOwnPixels) {
  Send(msg::Create("hero", 32, 48));
  Send(msg::Point(1, 1));  // creating a sprite makes none current
  EXPECT_EQ(s.scene.screen.At(1, 1), kWhite);
  EXPECT_EQ(Named("hero").layer.At(1, 1), kNone);
  Send(msg::Edit("hero"));
  Send(msg::Bound(100, 100));
  Send(msg::Point(2, 2));
  Send(msg::Point(3, 3), 2);  // another client still draws on the screen
  EXPECT_EQ(Named("hero").layer.At(2, 2), kWhite);
  EXPECT_EQ(s.scene.screen.At(2, 2), kNone);
  EXPECT_EQ(s.scene.screen.At(3, 3), kWhite);
  EXPECT_EQ(s.OverBlack(102, 102), Opaque(255, 255, 255));
  Send(msg::Clear());  // the sprite's pixels only
  EXPECT_EQ(Named("hero").layer.At(2, 2), kNone);
  EXPECT_EQ(s.scene.screen.At(3, 3), kWhite);
  Send(msg::Edit(""));  // none current, and no warning
  Send(msg::Point(4, 4));
  EXPECT_EQ(s.scene.screen.At(4, 4), kWhite);
  EXPECT_TRUE(s.Warnings().empty());
  Send(msg::Edit("hero"));
  Send(msg::Edit("villain"));  // unknown: none current, and said so
  EXPECT_EQ(s.scene.clients[1].sprite, 0);
  EXPECT_EQ(s.Warnings(),
            std::vector<std::string>{"SetEditSprite from client 1: no sprite named \"villain\"; none is current"});
}

TEST_F(SceneTest, PropertiesActOnTheCurrentSprite) {
  Send(msg::Create("a", 10, 10));
  Send(msg::Create("b", 10, 10));
  Send(msg::Edit("a"));
  Send(msg::Edit("b"), 2);
  for (const Bytes& m : {msg::Bound(100, 200), msg::OPoint(5, 6), msg::Z(-3), msg::Visible(0), msg::Alpha(400)}) {
    Send(m);
  }
  Send(msg::Bound(-7, INT32_MIN), 2);
  Send(msg::Alpha(-5), 2);
  const Sprite& a = Named("a");
  EXPECT_EQ(std::vector<int32_t>({a.x, a.y, a.ox, a.oy, a.z}), (std::vector<int32_t>{100, 200, 5, 6, -3}));
  EXPECT_FALSE(a.visible);
  EXPECT_EQ(a.alpha, 255);
  const Sprite& b = Named("b");
  EXPECT_EQ(std::vector<int32_t>({b.x, b.y, b.ox, b.oy, b.z}), (std::vector<int32_t>{-7, INT32_MIN, 0, 0, 0}));
  EXPECT_TRUE(b.visible);
  EXPECT_EQ(b.alpha, 0);
  Send(msg::Visible(-7));
  EXPECT_TRUE(Named("a").visible);
  EXPECT_TRUE(s.Warnings().empty());
}

TEST_F(SceneTest, RecreatingANameReplacesTheSpriteForThoseDrawingOnIt) {
  Send(msg::Create("a", 10, 10));
  Send(msg::Create("b", 5, 5));
  Send(msg::Edit("a"));
  Send(msg::Edit("a"), 2);
  Send(msg::Edit("b"), 3);
  for (const Bytes& m : {msg::Z(9), msg::Bound(4, 4), msg::Alpha(7), msg::Point(1, 1)}) Send(m);
  const int64_t old_id = Named("a").id;
  Send(msg::Create("a", 20, 30), 3);
  const Sprite& a = Named("a");
  EXPECT_NE(a.id, old_id);
  EXPECT_EQ(StateOf(s.scene).find("\"a\" 10x10"), std::string::npos);
  EXPECT_EQ(std::vector<int32_t>({a.width, a.height, a.x, a.y, a.z, a.alpha}),
            (std::vector<int32_t>{20, 30, 0, 0, 0, 255}));
  EXPECT_EQ(a.layer.At(1, 1), kNone);
  EXPECT_EQ(s.scene.sprites.back().id, a.id);  // the newest in creation order
  EXPECT_EQ(s.scene.clients[1].sprite, a.id);  // who drew on the old one goes on with the new one
  EXPECT_EQ(s.scene.clients[2].sprite, a.id);
  EXPECT_EQ(s.scene.clients[3].sprite, Named("b").id);
  EXPECT_EQ(s.scene.spritePixels, 20 * 30 + 5 * 5);
  Send(msg::Point(2, 2));
  EXPECT_EQ(Named("a").layer.At(2, 2), kWhite);
}

TEST_F(SceneTest, DisposingLeavesNoneCurrent) {
  Send(msg::Create("a", 10, 10));
  Send(msg::Create("b", 10, 10));
  Send(msg::Edit("a"));
  Send(msg::Edit("a"), 2);
  Send(msg::DisposeCurrent());
  EXPECT_EQ(s.scene.sprites.size(), 1u);
  EXPECT_EQ(s.scene.clients[1].sprite, 0);
  EXPECT_EQ(s.scene.clients[2].sprite, 0);
  Send(msg::Point(1, 1), 2);
  EXPECT_EQ(s.scene.screen.At(1, 1), kWhite);
  Send(msg::Edit("b"));
  Send(msg::Dispose("b"), 2);
  EXPECT_TRUE(s.scene.sprites.empty());
  EXPECT_EQ(s.scene.clients[1].sprite, 0);
  Send(msg::Create("c", 1, 1));
  Send(msg::Create("d", 1, 1));
  Send(msg::Edit("d"));
  Send(msg::DisposeAll(), 2);
  EXPECT_TRUE(s.scene.sprites.empty());
  EXPECT_EQ(s.scene.clients[1].sprite, 0);
  EXPECT_EQ(s.scene.spritePixels, 0);
  EXPECT_TRUE(s.Warnings().empty());
}

// A command that cannot apply logs one warning and changes nothing else.
TEST_F(SceneTest, CommandsThatCannotApplyWarnAndChangeNothing) {
  Send(msg::Resolution(64, 48));
  Send(msg::Create("keep", 8, 8));
  Send(msg::Colour(255, 0, 0));
  Send(msg::Rect(1, 1, 5, 5, true));
  const std::pair<Bytes, std::string> cases[] = {
      {msg::Bound(1, 2), "SetBound from client 1: no current sprite; nothing changed"},
      {msg::OPoint(1, 2), "SetOPoint from client 1: no current sprite; nothing changed"},
      {msg::Z(1), "SetZ from client 1: no current sprite; nothing changed"},
      {msg::Visible(0), "SetVisible from client 1: no current sprite; nothing changed"},
      {msg::Alpha(1), "SetAlpha from client 1: no current sprite; nothing changed"},
      {msg::DisposeCurrent(), "DisposeCurrentSprite from client 1: no current sprite; nothing changed"},
      {msg::Dispose("ghost"), "DisposeSprite from client 1: no sprite named \"ghost\"; nothing changed"},
      {msg::Edit("ghost"), "SetEditSprite from client 1: no sprite named \"ghost\"; none is current"},
      {msg::Rect(0, 0, 0, 5, true), "DrawRect from client 1: size 0x5 is not positive; nothing changed"},
      {msg::Ellipse(0, 0, 5, -1, false), "DrawEllipse from client 1: size 5x-1 is not positive; nothing changed"},
      {msg::ImageScaled("images/logo.png", 0, 0, -2, 2, 255),
       "DrawImageScaled from client 1: size -2x2 is not positive; nothing changed"},
      {msg::Create("s", 0, 0), "CreateSprite from client 1: size 0x0 is not positive; nothing changed"},
      {msg::Create("s", 4, INT32_MIN),
       "CreateSprite from client 1: size 4x-2147483648 is not positive; nothing changed"},
      {msg::Create("s", 8193, 1), "CreateSprite from client 1: size 8193x1 is over the limit of 8192 per side"},
      {msg::Create("keep", 1, 8193), "CreateSprite from client 1: size 1x8193 is over the limit of 8192 per side"},
      {msg::Create("", 4, 4), "CreateSprite from client 1: no name (or one of 128 bytes or more); not created"},
      {msg::Resolution(0, 480), "SetResolution from client 1: size 0x480 is not positive; nothing changed"},
      {msg::Resolution(640, -1), "SetResolution from client 1: size 640x-1 is not positive; nothing changed"},
      {msg::Resolution(8193, 480),
       "SetResolution from client 1: resolution 8193x480 is over the limit of 8192 per side; nothing changed"},
  };
  for (const auto& [message, warning] : cases) {
    const std::string state = StateOf(s.scene), png = s.Png();
    const size_t logs = s.scene.logs.size();
    Send(message);
    ASSERT_EQ(s.scene.logs.size(), logs + 1) << warning;
    EXPECT_EQ(s.scene.logs.back()->level, "warning");
    EXPECT_EQ(s.scene.logs.back()->client, 0);
    EXPECT_EQ(s.scene.logs.back()->message, s.scene.messages);
    EXPECT_EQ(LastLog(), warning);
    // Without that line and that message, the scene is what it was.
    s.scene.logBytes -= s.scene.logs.back()->text.size();
    s.scene.logs.pop_back();
    --s.scene.messages;
    EXPECT_EQ(StateOf(s.scene), state) << warning;
    EXPECT_TRUE(SamePng(s.Png(), png)) << warning;
  }
}

TEST_F(SceneTest, AnEmptyNameCreatesNothingAndSelectsNone) {
  Send(msg::Create("", 4, 4));
  EXPECT_TRUE(s.scene.sprites.empty());
  EXPECT_EQ(s.scene.spritePixels, 0);
  EXPECT_EQ(s.Warnings().size(), 1u);
  Send(msg::Create("a", 4, 4));
  Send(msg::Edit("a"));
  Send(msg::Edit(""));  // none current, said by no warning
  EXPECT_EQ(s.scene.clients[1].sprite, 0);
  Send(msg::Point(1, 1));
  EXPECT_EQ(s.scene.screen.At(1, 1), kWhite);
  EXPECT_EQ(Named("a").layer.At(1, 1), kNone);
  EXPECT_EQ(s.Warnings().size(), 1u);
}

TEST_F(SceneTest, SpritesAreBoundedInNumberAndPixels) {
  for (size_t i = 0; i < kMaxSprites; ++i) Send(msg::Create("s" + std::to_string(i), 1, 1));
  ASSERT_TRUE(s.Warnings().empty());
  Send(msg::Create("one more", 1, 1));
  EXPECT_EQ(s.scene.sprites.size(), kMaxSprites);
  EXPECT_EQ(LastLog(), "CreateSprite from client 1: over the limit of 1024 sprites; not created");
  Send(msg::Create("s0", 2, 2));  // replacing one makes no more
  EXPECT_EQ(s.scene.sprites.size(), kMaxSprites);
  EXPECT_EQ(Named("s0").width, 2);
  Send(msg::DisposeAll());
  Send(msg::Create("big", 8192, 8192));  // 64 Mi pixels: the most there may be
  Send(msg::Create("tiny", 1, 1));
  EXPECT_EQ(s.scene.sprites.size(), 1u);
  EXPECT_EQ(LastLog(), "CreateSprite from client 1: over the limit of 67108864 sprite pixels in all; not created");
  Send(msg::Create("big", 8192, 8192));  // the same again: it frees what it takes
  ASSERT_EQ(s.scene.sprites.size(), 1u);
  EXPECT_EQ(s.scene.spritePixels, kMaxSpritePixels);
  EXPECT_EQ(s.Warnings().size(), 2u);
  Send(msg::Resolution(8192, 8192));
  EXPECT_EQ(s.scene.width, 8192);
  EXPECT_EQ(s.Warnings().size(), 2u);
}

TEST_F(SceneTest, LogsAreKeptWithinTheirLinesAndBytes) {
  for (int i = 0; i < 1500; ++i) Send(msg::Log('I', "line " + std::to_string(i)));
  ASSERT_EQ(s.scene.logs.size(), kMaxLogLines);
  EXPECT_EQ(s.scene.logs.front()->text, "line 500");
  EXPECT_EQ(s.scene.logs.back()->text, "line 1499");
  EXPECT_EQ(s.scene.logs.back()->level, "I");
  EXPECT_EQ(s.scene.logs.back()->message, 1500);
  const std::string longest(65535, 'x');
  for (int i = 0; i < 100; ++i) Send(msg::Log('V', longest));
  EXPECT_LE(s.scene.logBytes, kMaxLogBytes);
  EXPECT_EQ(s.scene.logs.size(), kMaxLogBytes / longest.size());
  size_t bytes = 0;
  for (const auto& line : s.scene.logs) bytes += line->text.size();
  EXPECT_EQ(s.scene.logBytes, bytes);
}

TEST_F(SceneTest, CountersAndSpriteIdsPassTwoToThe31) {
  constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();
  s.scene.messages = kMax32 - 1;
  s.scene.malformed = kMax32;
  s.scene.nextSpriteId = kMax32;
  Send(msg::Log('W', "one"));
  Send(Bytes{1, 2});
  Send(msg::Create("a", 2, 2));
  Send(msg::Create("b", 2, 2));
  Send(msg::Edit("b"));
  Send(msg::Point(1, 1));
  Send(msg::Bound(1, 2), 2);  // a warning past 2^31 too
  EXPECT_EQ(s.scene.messages, kMax32 + 6);
  EXPECT_EQ(s.scene.malformed, kMax32 + 1);
  EXPECT_EQ(s.scene.logs.front()->message, kMax32);
  EXPECT_EQ(s.scene.logs.back()->message, kMax32 + 6);
  EXPECT_EQ(Named("a").id, kMax32);
  EXPECT_EQ(Named("b").id, kMax32 + 1);
  EXPECT_EQ(s.scene.clients[1].sprite, kMax32 + 1);
  EXPECT_EQ(Named("b").layer.At(1, 1), kWhite);
}

TEST_F(SceneTest, WhatAClientSetGoesWhenItLeaves) {
  ClientJoined(s.scene, 4);
  Send(msg::Create("a", 4, 4), 4);
  for (const Bytes& m : {msg::Colour(1, 2, 3, 4), msg::ShiftJis(true), msg::Edit("a")}) Send(m, 4);
  EXPECT_EQ(s.scene.clients[4].encoding, Encoding::kShiftJis);
  ClientLeft(s.scene, 4);
  EXPECT_EQ(s.scene.clients.count(4), 0u);
  EXPECT_EQ(s.scene.sprites.size(), 1u);  // sprites are the screen's, not the client's
  ClientJoined(s.scene, 4);
  const ClientState& back = s.scene.clients[4];
  EXPECT_EQ(std::vector<int>({back.colour.r, back.colour.g, back.colour.b, back.colour.a}),
            (std::vector<int>{255, 255, 255, 255}));
  EXPECT_EQ(back.encoding, Encoding::kUtf8);
  EXPECT_EQ(back.sprite, 0);
}

// A session file may name any number of clients, joined or only sending.
TEST_F(SceneTest, ClientsKnownAreBoundedTheLowestNumberedGoingFirst) {
  for (int64_t client = 1; client <= 3000; ++client) {
    if (client % 2 == 0) ClientJoined(s.scene, client);
    else Send(msg::Colour(1, 2, 3), client);
  }
  EXPECT_EQ(s.scene.clients.size(), kMaxClients);
  EXPECT_EQ(s.scene.clients.begin()->first, int64_t{3001 - kMaxClients});
  EXPECT_EQ(s.scene.clients.at(2999).colour.r, 1);  // the latest keep what they set
}

TEST_F(SceneTest, StringsAreReadInTheClientsEncoding) {
  Send(msg::ShiftJis(true), 2);
  Send(msg::Log('E', "\x83\x65"), 2);
  Send(msg::Log('E', "\x83\x65"), 1);
  Send(msg::Create("\x83\x65", 2, 2), 2);
  ASSERT_EQ(s.scene.logs.size(), 2u);
  EXPECT_EQ(s.scene.logs[0]->text, "\xE3\x83\x86");  // テ
  EXPECT_EQ(s.scene.logs[0]->client, 2);
  EXPECT_EQ(s.scene.logs[1]->text, "\xEF\xBF\xBD" "e");
  EXPECT_EQ(Named("\x83\x65").nameText, "\xE3\x83\x86");
  Send(msg::Edit("\x83\x65"), 1);  // names match by their bytes, whatever the encoding
  EXPECT_EQ(s.scene.clients[1].sprite, Named("\x83\x65").id);
}

TEST_F(SceneTest, AMalformedMessageIsCountedAndChangesNothingElse) {
  Send(msg::Create("a", 4, 4));
  const std::string before = StateOf(s.scene);
  Send(Bytes{1, 2});
  Send(Bytes{});
  Bytes cut = msg::Rect(1, 1, 4, 4, true);
  cut.pop_back();
  Send(cut);
  EXPECT_EQ(s.scene.messages, 4);
  EXPECT_EQ(s.scene.malformed, 3);
  s.scene.messages = 1;
  s.scene.malformed = 0;
  EXPECT_EQ(StateOf(s.scene), before);
  EXPECT_EQ(s.scene.screen.At(1, 1), kNone);
}

TEST_F(SceneTest, BackgroundsAreSetAndUnset) {
  Send(msg::Background("backgrounds/sky.png", 300));
  ASSERT_TRUE(s.scene.background.has_value());
  EXPECT_EQ(s.scene.background->path, "backgrounds/sky.png");
  EXPECT_EQ(s.scene.background->alpha, 255);
  ASSERT_NE(s.scene.background->image, nullptr);
  EXPECT_EQ(s.scene.background->image->width, 64);
  Send(msg::Background("", 255));
  EXPECT_FALSE(s.scene.background.has_value());
  EXPECT_TRUE(s.Warnings().empty());
}

}  // namespace
