// Seeking the view's timeline: the scene at any message equals a fresh
// replay of the messages up to it, and memory stays within the bound.
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/decode.h"
#include "messages.h"
#include "scene/scene.h"
#include "scene/stream.h"
#include "timeline/timeline.h"

namespace {

const ImageChecker kCheck = [](const std::string& path) { return ImageCheck{"/images/" + path, ""}; };

// A session as the view gets it: the live scene, its timeline, and what the
// scene and the printed line were after each message.
struct Session {
  Scene scene;
  Timeline timeline;
  std::set<long> points;                    // where to keep the snapshot
  std::map<long, std::string> snapshots;    // right after message n, for n in points
  std::vector<std::string> lines{""};       // [n]: message n as printed
  std::map<int, Encoding> encodings;
  std::vector<Change> changes;              // every change, in order
  std::vector<size_t> marks{0};             // [n]: the changes' count right after message n

  void Send(const Bytes& message, int client = 1) {
    timeline.Add(scene, SessionEntry::kMessage, client, 5000, message.data(), message.size(), message.size());
    const Decoded decoded = Decode(message.data(), message.size());
    lines.push_back(FormatLine(client, decoded, message.size(), encodings[client]));
    encodings[client] = NextEncoding(decoded, encodings[client]);
    std::vector<Change> made;
    ApplyMessage(scene, client, decoded, 5, kCheck, made);
    changes.insert(changes.end(), made.begin(), made.end());
    marks.push_back(changes.size());
    if (points.count(scene.messages)) snapshots[scene.messages] = SnapshotJson(scene);
  }
  void Client(int client, bool joined) {
    timeline.Add(scene, joined ? SessionEntry::kJoined : SessionEntry::kLeft, client, 5000, nullptr, 0, 0);
    if (joined) ClientJoined(scene, client, changes); else ClientLeft(scene, client, changes);
  }
  SeekResult At(long message, long from = -1) { return Seek(timeline.Take(message, scene, from), kCheck); }
  // A seek whose scene the timeline keeps for the next, as the view does.
  SeekResult Step(long message, long from = -1) {
    SeekResult result = At(message, from);
    timeline.Remember(std::make_shared<const Scene>(result.scene), result);
    return result;
  }
};

// Sprites, both encodings, logs, clears, clients coming and going, and
// messages that do not decode, over several checkpoints.
void Build(Session& s) {
  s.Client(1, true);
  s.Send(ShortMessage(26, {{at::width, 320}, {at::height, 200}}));
  s.Send(NameMessage(10, "hero", {{at::width, 16}, {at::height, 16}}));
  for (int i = 0; i < 6000; ++i) {
    if (i == 1000) s.Client(2, true);
    if (i == 4000) s.Client(2, false);
    if (i == 1500) s.Client(3, true);
    if (i == 2500) s.Send(Bytes{});
    const int client = i >= 1000 && i < 4000 && i % 3 == 0 ? 2 : i >= 1500 && i % 7 == 0 ? 3 : 1;
    switch (i % 50) {
      case 0: s.Send(ShortMessage(5, {{at::color1, i % 256}, {at::color2, 7}, {at::color3, 99}, {at::alpha, 255}}), client); break;
      case 1: s.Send(NameMessage(14, i % 100 == 1 ? "hero" : ""), client); break;
      case 2: s.Send(ShortMessage(15, {{at::x, i % 300}, {at::y, 20}}), client); break;
      case 3: s.Send(ShortMessage(28, {{at::x, (i / 50) % 2}}), client); break;
      case 4: s.Send(TextMessage(3, "\x83\x65 text", {{at::x, 3}, {at::y, 4}}), client); break;
      case 5: s.Send(LogMessage(22, "log \x83\x65"), client); break;
      case 6: s.Send(i % 1000 == 6 ? ShortMessage(9) : ShortMessage(6), client); break;
      case 7: s.Send(ShortMessage(2, {{at::x, 1}, {at::y, 1}, {at::width, 5}, {at::height, 5}, {at::shapeParam, 1}}), client); break;
      default: s.Send(ShortMessage(1, {{at::x, i % 320}, {at::y, i % 200}}), client); break;
    }
    // A page seeking while messages arrive seals the block being filled.
    if (i % 997 == 0) s.At(i / 2);
  }
}

TEST(TimelineTest, SceneAtAnyMessageEqualsAFreshReplayUpToIt) {
  Session s;
  const long last = 6003;
  s.points = {1, 2, 3, 57, 4095, 4096, 4097, 5000, 5999, last - 10, last - 1, last};
  s.snapshots[0] = SnapshotJson(s.scene);
  Build(s);
  ASSERT_EQ(s.scene.messages, last);
  s.points.insert(0);
  for (const long n : s.points) {
    const SeekResult result = s.At(n);
    ASSERT_EQ(result.message, n);
    EXPECT_EQ(result.first, 0);
    EXPECT_EQ(result.last, last);
    EXPECT_EQ(SnapshotJson(result.scene), s.snapshots[n]) << "at message " << n;
    std::vector<std::string> expected, listed;
    for (long m = std::max(1L, n - kAround); m <= std::min(last, n + kAround); ++m) expected.push_back(s.lines[m]);
    for (const TimelineLine& line : result.around) listed.push_back(line.line);
    EXPECT_EQ(listed, expected) << "around message " << n;
  }
  // Every point near a checkpoint lists all its messages around it.
  for (long n = 4070; n <= 4130; ++n) {
    const SeekResult result = s.At(n);
    ASSERT_EQ(result.around.size(), static_cast<size_t>(2 * kAround + 1)) << n;
    EXPECT_EQ(result.around.front().line, s.lines[n - kAround]) << n;
  }
  // Past either end, the nearest point.
  EXPECT_EQ(s.At(last + 100).message, last);
  EXPECT_EQ(SnapshotJson(s.At(std::numeric_limits<long>::max()).scene), s.snapshots[last]);
}

TEST(TimelineTest, FromAPointShownTheChangesSinceThenAreThoseMadeLive) {
  Session s;
  Build(s);
  for (const auto& [from, to] : std::vector<std::pair<long, long>>{
           {0, 1}, {0, 3}, {2, 3}, {57, 58}, {990, 1010}, {1490, 1600}, {3000, 5000}, {4095, 4097}, {5990, 6003}}) {
    const SeekResult result = s.At(to, from);
    ASSERT_TRUE(result.delta) << from << " to " << to;
    const std::vector<Change> made(s.changes.begin() + static_cast<long>(s.marks[from]),
                                   s.changes.begin() + static_cast<long>(s.marks[to]));
    EXPECT_EQ(BatchJson(result.changes, to, 0), BatchJson(made, to, 0)) << from << " to " << to;
    EXPECT_EQ(result.message, to);
  }
  // Not from a later point, nor the same one: the whole scene.
  EXPECT_FALSE(s.At(100, 100).delta);
  EXPECT_FALSE(s.At(100, 200).delta);
  EXPECT_FALSE(s.At(100).delta);
}

TEST(TimelineTest, AStepForwardStartsFromTheLastSeeksScene) {
  Session s;
  s.points = {1000, 1001, 1002, 1500, 2600, 6003};
  Build(s);
  s.Step(1000);
  for (const long n : {1001L, 1002L, 1500L, 2600L, 6003L}) {
    const long before = s.scene.messages;
    const TimelineSpan span = s.timeline.Take(n, s.scene, n == 1500 ? -1 : n - 1);
    ASSERT_EQ(before, 6003);
    if (n <= 1500) {
      EXPECT_EQ(span.start->messages, n == 1500 ? 1002 : n - 1) << n;
    }
    const SeekResult result = s.Step(n, n == 1500 ? -1 : n - 1);
    EXPECT_EQ(SnapshotJson(result.scene), s.snapshots[n]) << n;
    std::vector<std::string> listed;
    for (const TimelineLine& line : result.around) listed.push_back(line.line);
    const std::vector<std::string> expected(s.lines.begin() + n - kAround,
                                            s.lines.begin() + std::min(n + kAround, s.scene.messages) + 1);
    EXPECT_EQ(listed, expected) << n;
    if (n != 1500) {
      const std::vector<Change> made(s.changes.begin() + static_cast<long>(s.marks[n - 1]),
                                     s.changes.begin() + static_cast<long>(s.marks[n]));
      EXPECT_EQ(BatchJson(result.changes, n, 0), BatchJson(made, n, 0)) << n;
    }
  }
}

TEST(TimelineTest, ChangesPastTheirBoundGiveTheWholeScene) {
  Session s;
  const Bytes log = LogMessage(22, std::string(60000, 'x'));
  const size_t count = kMaxSeekChanges / log.size() + 10;
  for (size_t i = 0; i < count; ++i) s.Send(log);
  EXPECT_TRUE(s.At(10, 0).delta);
  const SeekResult all = s.At(static_cast<long>(count), 0);
  EXPECT_FALSE(all.delta);
  EXPECT_TRUE(all.changes.empty());
  EXPECT_EQ(SnapshotJson(all.scene), SnapshotJson(s.scene));
}

TEST(TimelineTest, SeeksFromACheckpointNotFromTheStart) {
  Session s;
  Build(s);
  const TimelineSpan span = s.timeline.Take(5990, s.scene);
  ASSERT_FALSE(span.blocks.empty());
  EXPECT_GT(span.blocks.front()->first, 0);
  EXPECT_LE(span.blocks.front()->first, 5990 - kAround);
}

TEST(TimelineTest, StaysWithinItsBoundByDroppingTheOldest) {
  Session s;
  constexpr size_t kBound = size_t{16} << 20;
  s.timeline = Timeline(kBound);
  const Bytes log = LogMessage(22, std::string(65000, 'x'));
  const size_t count = kBound / log.size() * 3;
  for (size_t i = 0; i < count; ++i) {
    s.timeline.Add(s.scene, SessionEntry::kMessage, 1, 0, log.data(), log.size(), log.size());
    s.scene.messages = static_cast<long>(i) + 1;
  }
  EXPECT_LE(s.timeline.Bytes(), kBound);
  EXPECT_GE(s.timeline.Bytes(), kBound / 2);
  const TimelineSpan span = s.timeline.Take(0, s.scene);
  EXPECT_GT(span.first, 0);
  EXPECT_EQ(span.message, span.first);
  EXPECT_EQ(Seek(span, kCheck).around.front().message, span.first + 1);
}

}  // namespace
