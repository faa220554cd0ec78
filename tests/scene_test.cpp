// The live view's scene model: each command's effect, each warning, the
// current sprite per client, and every limit.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "input/decode.h"
#include "messages.h"
#include "scene/scene.h"
#include "scene/stream.h"

namespace {

class SceneTest : public testing::Test {
 protected:
  // Sends one message from `client`; returns what it changed.
  std::vector<Change> Send(const Bytes& message, int client = 1) {
    std::vector<Change> changes;
    ApplyMessage(scene, client, Decode(message.data(), message.size()), 1000, check, changes);
    return changes;
  }

  void Create(const std::string& name, int32_t width, int32_t height, int client = 1) {
    Send(NameMessage(10, name, {{at::width, width}, {at::height, height}}), client);
  }
  void Edit(const std::string& name, int client = 1) { Send(NameMessage(14, name), client); }
  void Pixel(int32_t x, int32_t y, int client = 1) { Send(ShortMessage(1, {{at::x, x}, {at::y, y}}), client); }

  const Sprite& Named(const std::string& name) {
    for (const Sprite& sprite : scene.sprites) {
      if (sprite.name == name) return sprite;
    }
    ADD_FAILURE() << "no sprite " << name;
    return scene.sprites.front();
  }

  size_t Warnings() const {
    size_t count = 0;
    for (const LogLine& line : scene.logs) count += line.level == "warning";
    return count;
  }
  std::string LastLog() const { return scene.logs.empty() ? "" : scene.logs.back().text; }

  Scene scene;
  ImageChecker check = [](const std::string& path) {
    return ImageCheck{"/images/" + path, path.rfind("ok", 0) == 0 ? "" : "no such file"};
  };
};

TEST_F(SceneTest, ColourIsEachClientsOwnClampedAndWhiteAtFirst) {
  Pixel(1, 2, 1);
  Send(ShortMessage(5, {{at::color1, 300}, {at::color2, -5}, {at::color3, 128}, {at::alpha, 999}}), 2);
  Pixel(3, 4, 2);
  Pixel(5, 6, 1);
  ASSERT_EQ(scene.screen.ops.size(), 3u);
  const auto rgba = [](const DrawOp& op) {
    return std::vector<int>{op.color.r, op.color.g, op.color.b, op.color.a};
  };
  EXPECT_EQ(rgba(scene.screen.ops[0]), (std::vector<int>{255, 255, 255, 255}));
  EXPECT_EQ(rgba(scene.screen.ops[1]), (std::vector<int>{255, 0, 128, 255}));
  EXPECT_EQ(rgba(scene.screen.ops[2]), (std::vector<int>{255, 255, 255, 255}));
  EXPECT_EQ(scene.screen.ops[1].message, 3);
}

TEST_F(SceneTest, DrawingTargetIsTheClientsCurrentSprite) {
  Create("hero", 32, 48);
  Pixel(1, 1);  // CreateSprite selects nothing
  EXPECT_EQ(scene.screen.ops.size(), 1u);
  Edit("hero");
  Pixel(2, 2);
  Pixel(3, 3, 2);  // another client still draws on the screen
  EXPECT_EQ(Named("hero").layer.ops.size(), 1u);
  EXPECT_EQ(scene.screen.ops.size(), 2u);
  const auto changes = Send(ShortMessage(9));  // DrawClear clears the sprite only
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].id, Named("hero").id);
  EXPECT_TRUE(Named("hero").layer.ops.empty());
  EXPECT_EQ(scene.screen.ops.size(), 2u);
  Edit("");
  Pixel(4, 4);
  EXPECT_EQ(scene.screen.ops.size(), 3u);
  EXPECT_EQ(Warnings(), 0u);
  Edit("hero");
  Edit("villain");  // unknown: none current, and said so
  EXPECT_EQ(scene.clients[1].sprite, 0);
  EXPECT_EQ(Warnings(), 1u);
  EXPECT_NE(LastLog().find("no sprite named \"villain\""), std::string::npos);
}

TEST_F(SceneTest, PropertiesActOnTheCurrentSprite) {
  Create("a", 10, 10);
  Edit("a");
  Send(ShortMessage(15, {{at::x, 100}, {at::y, 200}}));
  Send(ShortMessage(19, {{at::x, 5}, {at::y, 6}}));
  Send(ShortMessage(16, {{at::x, -3}}));
  Send(ShortMessage(17, {{at::x, 0}}));
  Send(ShortMessage(18, {{at::alpha, 400}}));
  const Sprite& a = Named("a");
  EXPECT_EQ(std::vector<int32_t>({a.x, a.y, a.ox, a.oy, a.z}), (std::vector<int32_t>{100, 200, 5, 6, -3}));
  EXPECT_FALSE(a.visible);
  EXPECT_EQ(a.alpha, 255);
  Send(ShortMessage(17, {{at::x, -7}}));
  EXPECT_TRUE(Named("a").visible);
}

TEST_F(SceneTest, RecreatingANameReplacesTheSprite) {
  Create("a", 10, 10);
  Create("b", 5, 5);
  Edit("a");
  Send(ShortMessage(16, {{at::x, 9}}));
  Pixel(1, 1);
  const int old_id = Named("a").id;
  Create("a", 20, 30, 2);
  const Sprite& a = Named("a");
  EXPECT_NE(a.id, old_id);
  EXPECT_EQ(a.width, 20);
  EXPECT_EQ(a.z, 0);
  EXPECT_TRUE(a.layer.ops.empty());
  EXPECT_EQ(scene.sprites.back().name, "a");  // newest in creation order
  EXPECT_EQ(scene.clients[1].sprite, a.id);   // its client goes on drawing on it
  EXPECT_EQ(scene.spritePixels, 20 * 30 + 5 * 5);
}

TEST_F(SceneTest, DisposingLeavesNoneCurrent) {
  Create("a", 10, 10);
  Create("b", 10, 10);
  Edit("a");
  Edit("a", 2);
  Send(ShortMessage(12));
  EXPECT_EQ(scene.sprites.size(), 1u);
  EXPECT_EQ(scene.clients[1].sprite, 0);
  EXPECT_EQ(scene.clients[2].sprite, 0);
  Send(NameMessage(11, "b"));
  EXPECT_TRUE(scene.sprites.empty());
  Create("c", 1, 1);
  Create("d", 1, 1);
  Send(ShortMessage(13));
  EXPECT_TRUE(scene.sprites.empty());
  EXPECT_EQ(scene.spritePixels, 0);
  EXPECT_EQ(scene.historyBytes, 0u);
  EXPECT_EQ(Warnings(), 0u);
}

TEST_F(SceneTest, CommandsThatCannotApplyWarnAndChangeNothing) {
  const std::pair<Bytes, std::string> cases[] = {
      {ShortMessage(15, {{at::x, 1}}), "no current sprite"},
      {ShortMessage(12), "no current sprite"},
      {NameMessage(11, "ghost"), "no sprite named \"ghost\""},
      {ShortMessage(2, {{at::width, 0}, {at::height, 5}}), "size 0x5 is not positive"},
      {ShortMessage(29, {{at::width, 5}, {at::height, -1}}), "size 5x-1 is not positive"},
      {TextMessage(8, "ok.png", {{at::width, -2}, {at::height, 2}}), "size -2x2 is not positive"},
      {NameMessage(10, "s", {{at::width, 0}, {at::height, 0}}), "size 0x0 is not positive"},
      {ShortMessage(26, {{at::width, 0}, {at::height, 480}}), "size 0x480 is not positive"},
      {ShortMessage(26, {{at::width, 8193}, {at::height, 480}}), "over the limit of 8192"},
      {NameMessage(10, "s", {{at::width, 8193}, {at::height, 1}}), "over the limit of 8192"},
  };
  for (const auto& [message, reason] : cases) {
    const auto changes = Send(message);
    ASSERT_EQ(changes.size(), 1u) << reason;
    EXPECT_EQ(changes[0].kind, Change::kLog);
    EXPECT_EQ(changes[0].log.level, "warning");
    EXPECT_NE(LastLog().find(reason), std::string::npos) << LastLog();
  }
  EXPECT_TRUE(scene.sprites.empty());
  EXPECT_TRUE(scene.screen.ops.empty());
  EXPECT_EQ(scene.width, 640);
}

TEST_F(SceneTest, SpriteCountAndPixelsAreBounded) {
  for (int i = 0; i < kMaxSprites; ++i) Create("s" + std::to_string(i), 1, 1);
  Create("one more", 1, 1);
  EXPECT_EQ(scene.sprites.size(), static_cast<size_t>(kMaxSprites));
  EXPECT_NE(LastLog().find("over the limit of 1024 sprites"), std::string::npos);
  Create("s0", 2, 2);  // replacing one is no new sprite
  EXPECT_EQ(Named("s0").width, 2);
  Send(ShortMessage(13));
  Create("big", 8192, 8192);
  Create("tiny", 1, 1);
  EXPECT_EQ(scene.sprites.size(), 1u);
  EXPECT_NE(LastLog().find("sprite pixels"), std::string::npos);
  Create("big", 8192, 8192);  // the same size again: it replaces what it frees
  EXPECT_EQ(scene.sprites.size(), 1u);
}

TEST_F(SceneTest, HistoryIsBoundedAndSaysWhereItStarts) {
  const size_t per_op = OpBytes(DrawOp{});
  const long ops = static_cast<long>(kMaxHistoryBytes / per_op) + 10;
  for (long i = 0; i < ops; ++i) Pixel(1, 1);
  EXPECT_LE(scene.historyBytes, kMaxHistoryBytes);
  EXPECT_GT(scene.screen.since, 1);
  EXPECT_EQ(scene.screen.since, scene.screen.ops.front().message);
  EXPECT_EQ(scene.screen.ops.back().message, ops);
  Send(ShortMessage(9));
  EXPECT_EQ(scene.screen.since, 0);
  EXPECT_EQ(scene.historyBytes, 0u);
}

TEST_F(SceneTest, AnOpaqueFillOfTheWholeLayerStartsItsHistoryAfresh) {
  Pixel(1, 1);
  Send(ShortMessage(5, {{at::color1, 1}, {at::alpha, 128}}));
  Send(ShortMessage(2, {{at::x, 0}, {at::y, 0}, {at::width, 640}, {at::height, 480}, {at::shapeParam, 1}}));
  EXPECT_EQ(scene.screen.ops.size(), 2u);  // translucent: what is under it still shows
  Send(ShortMessage(5, {{at::color1, 1}, {at::alpha, 255}}));
  Send(ShortMessage(2, {{at::x, -5}, {at::y, 0}, {at::width, 700}, {at::height, 480}, {at::shapeParam, 1}}));
  EXPECT_EQ(scene.screen.ops.size(), 1u);
}

TEST_F(SceneTest, ResolutionIsAnOpOfTheScreensLayer) {
  Pixel(700, 10);
  Send(ShortMessage(26, {{at::width, 800}, {at::height, 600}}));
  EXPECT_EQ(scene.width, 800);
  ASSERT_EQ(scene.screen.ops.size(), 2u);
  EXPECT_EQ(scene.screen.ops[1].kind, OpKind::kSize);
  EXPECT_EQ(scene.screen.width, 640);  // replayed from the first size, the pixel stays off-screen
  Send(ShortMessage(9));
  EXPECT_EQ(scene.screen.width, 800);
}

TEST_F(SceneTest, TextIsReadInTheClientsEncoding) {
  Send(ShortMessage(28, {{at::x, 1}}), 2);
  Send(TextMessage(3, "\x83\x65\x83\x58\x83\x67", {{at::textParam, 0}}), 2);
  Send(TextMessage(3, "caf\xC3\xA9 \xFF", {{at::textParam, 5000}}), 1);
  Send(LogMessage(24, "\x83\x65"), 2);
  ASSERT_EQ(scene.screen.ops.size(), 2u);
  EXPECT_EQ(scene.screen.ops[0].text, "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88");  // テスト
  EXPECT_EQ(scene.screen.ops[0].size, kDefaultFontSize);
  EXPECT_EQ(scene.screen.ops[1].text, "caf\xC3\xA9 \xEF\xBF\xBD");
  EXPECT_EQ(scene.screen.ops[1].size, kMaxFontSize);
  EXPECT_EQ(scene.logs.back().level, "E");
  EXPECT_EQ(scene.logs.back().client, 2);
  EXPECT_EQ(scene.logs.back().text, "\xE3\x83\x86");
}

TEST_F(SceneTest, ImagesGetAnIdPerPathOrAPlaceholder) {
  Send(TextMessage(7, "ok.png", {{at::x, 1}}));
  Send(TextMessage(8, "ok.png", {{at::width, 5}, {at::height, 6}, {at::alpha, 128}}));
  Send(TextMessage(7, "gone.png"));
  ASSERT_EQ(scene.screen.ops.size(), 3u);
  EXPECT_EQ(scene.screen.ops[0].image, 1);
  EXPECT_EQ(scene.screen.ops[1].image, 1);
  EXPECT_EQ(scene.screen.ops[1].opacity, 128);
  EXPECT_EQ(scene.screen.ops[2].image, 0);
  EXPECT_NE(LastLog().find("cannot draw image \"gone.png\": no such file"), std::string::npos);
  EXPECT_EQ(scene.images, std::vector<std::string>{"/images/ok.png"});
  Send(TextMessage(27, "ok.png", {{at::alpha, 77}}));
  EXPECT_TRUE(scene.hasBackground);
  EXPECT_EQ(scene.background.alpha, 77);
  Send(TextMessage(27, ""));
  EXPECT_FALSE(scene.hasBackground);
  for (size_t i = 1; i <= kMaxImages; ++i) Send(TextMessage(7, "ok" + std::to_string(i)));
  EXPECT_EQ(scene.images.size(), kMaxImages);
  EXPECT_EQ(scene.screen.ops.back().image, 0);
}

TEST_F(SceneTest, LogIsBoundedInLinesAndBytes) {
  for (int i = 0; i < 1500; ++i) Send(LogMessage(22, "line " + std::to_string(i)));
  EXPECT_EQ(scene.logs.size(), kMaxLogLines);
  EXPECT_EQ(scene.logs.back().text, "line 1499");
  const std::string long_line(65535, 'x');
  for (int i = 0; i < 100; ++i) Send(LogMessage(20, long_line));
  EXPECT_LE(scene.logBytes, kMaxLogBytes);
  EXPECT_EQ(scene.logs.size(), kMaxLogBytes / long_line.size());
}

TEST_F(SceneTest, ClientsComeAndGoAndMalformedMessagesOnlyCount) {
  std::vector<Change> changes;
  ClientJoined(scene, 4, changes);
  Send(ShortMessage(28, {{at::x, 1}}), 4);
  EXPECT_EQ(scene.clients[4].encoding, Encoding::kShiftJis);
  ClientLeft(scene, 4, changes);
  EXPECT_EQ(scene.clients.count(4), 0u);
  EXPECT_TRUE(Send(Bytes{1, 2}).empty());
  EXPECT_EQ(scene.messages, 2);
  EXPECT_EQ(scene.malformed, 1);
}

TEST_F(SceneTest, TheSnapshotCarriesEveryStringAsText) {
  Create("<b>sprite</b>", 4, 4);
  Edit("<b>sprite</b>");
  Send(TextMessage(3, "<script>alert(1)</script> \xFF"));
  Send(LogMessage(23, "<img src=x onerror=alert(1)>"));
  const auto snapshot = nlohmann::json::parse(SnapshotJson(scene));
  EXPECT_EQ(snapshot["sprites"][0]["name"], "<b>sprite</b>");
  EXPECT_EQ(snapshot["sprites"][0]["layer"]["ops"][0][5], "<script>alert(1)</script> \xEF\xBF\xBD");
  EXPECT_EQ(snapshot["logs"].back()["text"], "<img src=x onerror=alert(1)>");
  EXPECT_EQ(snapshot["clients"].size(), 1u);
  EXPECT_EQ(snapshot["messages"], 4);
}

TEST_F(SceneTest, ARunOfChangesToOneSpriteGoesOutAsItsLatestState) {
  Create("a", 4, 4);
  Create("b", 4, 4);
  Edit("a");
  std::vector<Change> changes;
  const auto apply = [&](const Bytes& message) {
    ApplyMessage(scene, 1, Decode(message.data(), message.size()), 1000, check, changes);
  };
  for (int32_t x = 0; x < 100; ++x) apply(ShortMessage(15, {{at::x, x}}));
  apply(ShortMessage(1, {{at::x, 1}}));
  apply(ShortMessage(15, {{at::x, 500}}));
  apply(ShortMessage(15, {{at::x, 501}}));
  Edit("b");
  apply(ShortMessage(15, {{at::x, 7}}));
  ASSERT_EQ(changes.size(), 4u);
  EXPECT_EQ(changes[0].sprite.x, 99);
  EXPECT_EQ(changes[1].kind, Change::kOp);
  EXPECT_EQ(changes[2].sprite.x, 501);
  EXPECT_EQ(changes[3].sprite.name, "b");
}

TEST_F(SceneTest, ABatchGroupsConsecutiveOpsOfOneLayerAndKeepsTheirOrder) {
  std::vector<Change> changes = Send(ShortMessage(1, {{at::x, -3}, {at::y, 2147483647}}));
  for (Change& change : Send(ShortMessage(4, {{at::x, 1}, {at::y, 2}, {at::x2, 3}, {at::y2, 4}}))) changes.push_back(change);
  Create("s", 4, 4);
  Edit("s");
  for (Change& change : Send(TextMessage(3, "a\"b\\<\n>\xFF", {{at::x, 5}, {at::y, 6}, {at::textParam, 9}}))) {
    changes.push_back(change);
  }
  for (Change& change : Send(ShortMessage(2, {{at::width, 8}, {at::height, 9}}))) changes.push_back(change);
  const auto batch = nlohmann::json::parse(BatchJson(changes, 7, 1));
  EXPECT_EQ(batch["messages"], 7);
  EXPECT_EQ(batch["malformed"], 1);
  ASSERT_EQ(batch["events"].size(), 2u);
  EXPECT_EQ(batch["events"][0].dump(), R"({"layer":0,"ops":[["pixel",1,-3,2147483647,255,255,255,255],)"
                                       R"(["line",2,1,2,3,4,255,255,255,255]],"t":"ops"})");
  const auto& sprite_ops = batch["events"][1];
  EXPECT_EQ(sprite_ops["layer"], Named("s").id);
  ASSERT_EQ(sprite_ops["ops"].size(), 2u);
  EXPECT_EQ(sprite_ops["ops"][0][0], "text");
  EXPECT_EQ(sprite_ops["ops"][0][4], 9);
  EXPECT_EQ(sprite_ops["ops"][0][5], "a\"b\\<\n>\xEF\xBF\xBD");
  EXPECT_EQ(sprite_ops["ops"][1].dump(), R"(["rect",6,0,0,8,9,0,255,255,255,255])");
}

}  // namespace
