// Looking back over the timeline: a session goes through the real renderer,
// which leaves checkpoints as the monitor does; the point made at any
// message must equal the same messages replayed afresh, in pixels (PNG
// bytes) and in state, with the lines around it as the monitor printed
// them. A step forward starts from the last point made, a point never from
// the start once checkpoints exist, and memory stays within the bound.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "render/replay.h"
#include "render_support.h"

namespace {

const std::string kTestShiftJis = "\x83\x65\x83\x58\x83\x67";  // テスト

// Sprites, both encodings, logs, clears, images, backgrounds, resolutions,
// clients coming and going, and messages that do not decode: over 9,000
// messages, in three blocks of entries and more.
void BuildSession(Live& l) {
  l.Join(1);
  l.Send(msg::Resolution(160, 120));
  l.Send(msg::Create("hero", 16, 16));
  std::set<int64_t> joined{1};
  const std::string logo = "images/logo.png";
  for (int32_t i = 0; i < 9000; ++i) {
    for (const auto& [at, client, joins] : {std::tuple{1000, 2, true}, std::tuple{1500, 3, true},
                                            std::tuple{4000, 2, false}, std::tuple{6000, 4, true},
                                            std::tuple{7000, 3, false}}) {
      if (i != at) continue;
      if (joins) {
        l.Join(client);
        joined.insert(client);
      } else {
        l.Leave(client);
        joined.erase(client);
      }
    }
    // Mostly client 1; every third message another that is connected.
    int64_t client = 1;
    if (i % 3 == 0) client = *std::next(joined.begin(), i / 3 % int32_t(joined.size()));
    switch (i % 40) {
      case 0: l.Send(msg::Colour(i % 256, 7 * i % 256, 99, 128 + i % 128), client); break;
      case 1: l.Send(msg::Edit(i % 80 == 1 ? "hero" : ""), client); break;
      case 2: l.Send(msg::Bound(i % 150, i % 110), client); break;
      case 3: l.Send(msg::ShiftJis(i / 40 % 2 == 1), client); break;
      case 4: l.Send(msg::Text(3, i % 100, kTestShiftJis + " ok", 12), client); break;
      case 5: l.Send(msg::Log("VDIWEC"[i % 6], "log " + kTestShiftJis + std::to_string(i)), client); break;
      case 6: l.Send(i % 1000 == 6 ? msg::Clear() : msg::Point(i % 160, i % 120), client); break;
      case 7: l.Send(msg::Rect(i % 150, i % 100, 9, 6, i % 2 == 0), client); break;
      case 8: l.Send(msg::Ellipse(i % 140, i % 90, 12, 7, i % 2 == 1), client); break;
      case 9: l.Send(msg::Line(i % 160, 0, 159 - i % 160, 119), client); break;
      case 10: l.Send(msg::Image(logo, i % 150 - 10, i % 100), client); break;
      case 11: l.Send(msg::ImageScaled(i % 400 == 11 ? "missing.png" : logo, 20, 30, 13, 9, 200), client); break;
      case 12:
        if (i % 600 == 12) l.Send(msg::Background("backgrounds/sky.png", 128), client);
        else if (i % 600 == 212) l.Send(msg::Background("", 0), client);
        else if (i % 600 == 412) l.Send(msg::Background("nowhere.png", 200), client);
        else l.Send(msg::Point(1, 1), client);
        break;
      case 13: l.Send(i % 80 == 13 ? msg::Create("b", 20, 10) : msg::Dispose("b"), client); break;
      case 14: l.Send(msg::Z(i % 5 - 2), client); break;
      case 15: l.Send(msg::Alpha(i % 300), client); break;
      case 16: l.Send(msg::Visible(i % 120 != 16), client); break;
      case 17: l.Send(msg::OPoint(i % 7, i % 5), client); break;
      case 18: l.Send(i % 120 == 18 ? Bytes{} : Bytes{1, 2, 3, 4, 5}, client); break;
      case 19: l.Send(msg::Resolution(i % 2000 < 1000 ? 160 : 128, i % 2000 < 1000 ? 120 : 96), client); break;
      case 20: l.Send(msg::Create("hero", 16 + i % 3, 16), client); break;
      case 21: l.Send(i % 200 == 21 ? msg::DisposeAll() : msg::DisposeCurrent(), client); break;
      default: l.Send(msg::Point(i % 160, i / 160 % 120), client); break;
    }
  }
}

// The message counts at which a block of entries begins (past the first).
std::vector<int64_t> BlockStarts(const std::vector<SessionStep>& steps) {
  std::vector<int64_t> starts;
  int64_t messages = 0;
  for (size_t entry = 0; entry < steps.size(); ++entry) {
    if (entry > 0 && entry % kBlockEntries == 0) starts.push_back(messages);
    messages += steps[entry].kind == SessionEntry::kMessage;
  }
  return starts;
}

class TimelineTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    live = new Live();
    BuildSession(*live);
    ASSERT_TRUE(live->Rendered()) << "the renderer did not apply every message within a minute";
    lines = new std::vector<std::string>(PrintedLines(live->steps));
  }
  static void TearDownTestSuite() {
    delete lines;
    delete live;
  }

  // The point at `message` against a fresh replay up to it.
  testing::AssertionResult PointIsAFreshReplay(int64_t message, Replay& replay) {
    const Point point = live->pipeline.PointAt(message);
    const int64_t last = live->Messages();
    const int64_t expected = std::clamp<int64_t>(message, 0, last);
    if (point.message != expected || point.first != 0 || point.last != last) {
      return testing::AssertionFailure() << "point " << point.message << " in [" << point.first << ", " << point.last
                                         << "], expected " << expected << " in [0, " << last << "]";
    }
    const Scene& fresh = replay.At(expected);
    if (StateOf(*point.scene) != StateOf(fresh)) {
      return testing::AssertionFailure() << "at message " << expected << " the state is\n"
                                         << StateOf(*point.scene) << "expected\n" << StateOf(fresh);
    }
    testing::AssertionResult same = SamePng(FramePng(point.frame), replay.Png());
    if (!same) return same << "\n  (the frame at message " << expected << ")";
    std::vector<std::string> listed, printed;
    for (const TimelineLine& line : point.around) {
      listed.push_back("[" + std::to_string(line.message) + "] " + line.line);
    }
    for (int64_t m = std::max<int64_t>(1, expected - kAround); m <= std::min(last, expected + kAround); ++m) {
      printed.push_back("[" + std::to_string(m) + "] " + (*lines)[size_t(m)]);
    }
    if (listed != printed) {
      std::string both = "\n  listed:";
      for (const auto& line : listed) both += "\n    " + line;
      both += "\n  printed:";
      for (const auto& line : printed) both += "\n    " + line;
      return testing::AssertionFailure() << "around message " << expected << ":" << both;
    }
    return testing::AssertionSuccess();
  }

  static Live* live;
  static std::vector<std::string>* lines;
};

Live* TimelineTest::live = nullptr;
std::vector<std::string>* TimelineTest::lines = nullptr;

TEST_F(TimelineTest, APointAtAnyMessageIsAFreshReplayUpToIt) {
  const int64_t last = live->Messages();
  ASSERT_GT(last, 9000);
  std::set<int64_t> points{0, 1, 2, 3, 2500, 4000, last - 10, last - 1, last};
  const std::vector<int64_t> starts = BlockStarts(live->steps);
  ASSERT_GE(starts.size(), 2u);
  for (const int64_t start : starts) {
    for (const int64_t d : {-11, -10, -1, 0, 1, 10, 11}) points.insert(start + d);
  }
  for (int64_t m = 997; m < last; m += 997) points.insert(m);
  Replay replay(live->steps);
  for (const int64_t n : points) EXPECT_TRUE(PointIsAFreshReplay(n, replay));
  // Past either end, the nearest point.
  EXPECT_TRUE(PointIsAFreshReplay(last + 100, replay));
  EXPECT_TRUE(PointIsAFreshReplay(std::numeric_limits<int64_t>::max(), replay));
  EXPECT_TRUE(PointIsAFreshReplay(-5, replay));
}

TEST_F(TimelineTest, AStepForwardStartsFromTheLastPointMade) {
  const int64_t boundary = BlockStarts(live->steps).front();
  Replay replay(live->steps);
  const Point first = live->pipeline.PointAt(boundary - 3);
  std::shared_ptr<const Scene> remembered = first.scene;
  for (int64_t n = boundary - 2; n <= boundary + 3; ++n) {
    const LookSpan span = live->checkpoints.Take(live->timeline, n, kAround, kAround);
    EXPECT_EQ(span.start.get(), remembered.get()) << "the step to " << n;
    EXPECT_TRUE(PointIsAFreshReplay(n, replay));
    remembered = live->checkpoints.Take(live->timeline, n + 1, kAround, kAround).start;
    ASSERT_EQ(remembered->messages, n);
  }
  // A step back starts from a checkpoint again.
  const LookSpan back = live->checkpoints.Take(live->timeline, boundary - 5, kAround, kAround);
  EXPECT_NE(back.start.get(), remembered.get());
  EXPECT_LE(back.start->messages, boundary - 5 - kAround - 1);
  EXPECT_TRUE(PointIsAFreshReplay(boundary - 5, replay));
}

TEST_F(TimelineTest, APointIsNeverReplayedFromTheStartOnceCheckpointsExist) {
  const int64_t last = live->Messages();
  // Where the renderer left checkpoints, said when this fails.
  std::string checkpoints;
  const LookSpan whole = live->checkpoints.Take(live->timeline, last, 0, 0, true);
  for (size_t b = 0; b < whole.blocks.size(); ++b) {
    checkpoints += " " + std::to_string(whole.blocks[b]->messagesBefore) + (whole.checkpoints[b] ? "(checkpoint)" : "");
  }
  for (const int64_t n : {last, last - 500}) {
    const LookSpan span = live->checkpoints.Take(live->timeline, n, kAround, kAround);
    ASSERT_FALSE(span.blocks.empty());
    ASSERT_TRUE(span.start);
    EXPECT_GT(span.blocks.front()->messagesBefore, 0) << "a point at " << n << "; blocks at" << checkpoints;
    EXPECT_GT(span.start->messages, 0) << n;
    EXPECT_LE(span.start->messages, n - kAround) << n;
  }
}

// As when a session file is replayed into the view: every entry arrives
// before the renderer reads one. Each block still begins with a checkpoint.
TEST(TimelineCheckpoints, ABurstOfEntriesStillGetsACheckpointAtEachBlock) {
  Live l(kMaxTimelineBytes, false);
  l.Join(1);
  l.Send(msg::Resolution(64, 48));
  for (int32_t i = 0; i < 5 * int32_t(kBlockEntries); ++i) l.Send(msg::Point(i % 64, i / 64 % 48));
  l.renderer.Start();
  ASSERT_TRUE(l.Rendered());
  const int64_t last = l.Messages();
  std::string blocks;
  int checkpoints = 0;
  const LookSpan whole = l.checkpoints.Take(l.timeline, last, 0, 0, true);
  for (size_t b = 0; b < whole.blocks.size(); ++b) {
    blocks += " " + std::to_string(whole.blocks[b]->messagesBefore) + (whole.checkpoints[b] ? "(checkpoint)" : "");
    checkpoints += whole.checkpoints[b] != nullptr;
  }
  EXPECT_EQ(checkpoints, 6) << "blocks at" << blocks;
  const LookSpan span = l.checkpoints.Take(l.timeline, last, kAround, kAround);
  ASSERT_TRUE(span.start);
  // From the block that holds the first message listed.
  EXPECT_GT(span.start->messages, last - kAround - 1 - int64_t(kBlockEntries)) << "blocks at" << blocks;
  Replay replay(l.steps);
  const Point point = l.pipeline.PointAt(last);
  EXPECT_EQ(StateOf(*point.scene), StateOf(replay.At(last)));
  EXPECT_TRUE(SamePng(FramePng(point.frame), replay.Png()));
}

// A look back only reads: looking into the block being filled leaves it to
// fill up, and every block holds kBlockEntries entries as without the look.
TEST(TimelineCheckpoints, ALookIntoTheBlockBeingFilledLeavesTheBlocksAsTheyAre) {
  Live l;
  l.Join(1);
  l.Send(msg::Resolution(64, 48));
  for (int32_t round = 0; round < 5; ++round) {
    for (int32_t i = 0; i < 1000; ++i) l.Send(msg::Point(i % 64, round));
    ASSERT_TRUE(l.Rendered());
    Replay replay(l.steps);
    const Point point = l.pipeline.PointAt(l.Messages() - 5);
    EXPECT_TRUE(SamePng(FramePng(point.frame), (replay.At(l.Messages() - 5), replay.Png())));
  }
  const LookSpan whole = l.checkpoints.Take(l.timeline, l.Messages(), 0, 0, true);
  ASSERT_FALSE(whole.blocks.empty());
  for (const auto& block : whole.blocks) EXPECT_EQ(block->entriesBefore % int64_t(kBlockEntries), 0);
  EXPECT_EQ(whole.blocks.back()->heads.size(), l.steps.size() % kBlockEntries);
}

// Messages cheap to apply but heavy to keep: 4,000 control characters of
// text that draw nothing; now and then a rectangle and a log line, so that
// points differ.
TEST(TimelineBound, MemoryStaysWithinTheBoundByDroppingTheOldestBlocks) {
  constexpr size_t kBound = size_t{8} << 20;
  Live l(kBound);
  const Bytes heavy = msg::Text(0, 0, std::string(4000, '\x01'), 10);
  size_t most = 0;
  int32_t i = 0;
  l.Send(msg::Resolution(64, 48));
  while (l.steps.size() * heavy.size() < 3 * kBound) {
    if (++i % 100 == 0) {
      l.Send(msg::Colour(i % 256, 255 - i % 256, 0));
      l.Send(msg::Rect(i % 60, i % 40, 5, 5, true));
      l.Send(msg::Log('I', "at " + std::to_string(i)));
    }
    l.Send(heavy);
    most = std::max(most, l.timeline.Bytes());
  }
  ASSERT_TRUE(l.Rendered());
  // The bound, and at most the block being filled while the renderer
  // catches up and leaves its checkpoint.
  EXPECT_LE(most, kBound + kBlockBytes) << "most " << most;
  EXPECT_LE(l.timeline.Bytes(), kBound + kBlockBytes);
  const LookSpan span = l.checkpoints.Take(l.timeline, 0, kAround, kAround);
  EXPECT_GT(span.first, 0);
  EXPECT_EQ(span.message, span.first);
  ASSERT_FALSE(span.blocks.empty());
  EXPECT_TRUE(span.checkpoints.front());  // what is left begins with a checkpoint
  // The earliest point still held is right.
  const Point point = l.pipeline.PointAt(0);
  EXPECT_EQ(point.message, span.first);
  Replay replay(l.steps);
  EXPECT_EQ(StateOf(*point.scene), StateOf(replay.At(point.message)));
  EXPECT_TRUE(SamePng(FramePng(point.frame), replay.Png()));
  ASSERT_FALSE(point.around.empty());
  EXPECT_EQ(point.around.front().message, span.first + 1);
}

// A large screen drawn all over: a copy of the scene costs more than the
// timeline may keep, so none is kept, the blocks go all the same and
// looking back waits for a checkpoint that fits; memory holds the bound.
TEST(TimelineBound, ACheckpointTooLargeForTheBoundIsNotKept) {
  constexpr size_t kBound = size_t{8} << 20;  // a 2048x2048 scene's tiles are 16 MiB
  Live l(kBound);
  const Bytes heavy = msg::Text(0, 0, std::string(4000, '\x01'), 10);
  l.Send(msg::Resolution(2048, 2048));
  size_t most = 0;
  for (int32_t i = 0; l.steps.size() * heavy.size() < 3 * kBound; ++i) {
    if (i % 100 == 0) {
      l.Send(msg::Colour(i % 256, 255 - i % 256, 0));
      l.Send(msg::Rect(0, 0, 2048, 2048, true));
    }
    l.Send(heavy);
    most = std::max(most, l.timeline.Bytes());
  }
  ASSERT_TRUE(l.Rendered());
  EXPECT_LE(most, kBound + kBlockBytes) << "most " << most;
  const LookSpan span = l.checkpoints.Take(l.timeline, 0, kAround, kAround);
  EXPECT_FALSE(span.start);
  EXPECT_EQ(span.first, l.Messages());
  EXPECT_FALSE(l.pipeline.PointAt(0).held);
  // A small screen again: a checkpoint fits, and looking back comes back.
  l.Send(msg::Resolution(64, 48));
  for (int32_t i = 0; i < 3 * int32_t(kBlockEntries); ++i) l.Send(msg::Point(i % 64, i / 64 % 48));
  ASSERT_TRUE(l.Rendered());
  const Point point = l.pipeline.PointAt(l.Messages());
  ASSERT_TRUE(point.held);
  Replay replay(l.steps);
  EXPECT_EQ(StateOf(*point.scene), StateOf(replay.At(point.message)));
  EXPECT_TRUE(SamePng(FramePng(point.frame), replay.Png()));
}

}  // namespace
