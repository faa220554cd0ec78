// Seeking the live view's timeline across a session of 1,000,000 messages:
// the time from asking for a point to its answer as the page gets it (the
// checkpoint before the point copied, the messages after it replayed, the
// answer written), against replaying the session from its start, which a
// seek would cost without checkpoints. Also what keeping the timeline costs
// the view per message, and its memory.
//   timeline_seek SESSION [--messages N] [--seeks N]
// SESSION is a recording whose messages are repeated to make the demo's mix.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "input/decode.h"
#include "protocol/protocol.h"
#include "scene/scene.h"
#include "input/session.h"
#include "scene/stream.h"
#include "timeline/timeline.h"

namespace {

using Clock = std::chrono::steady_clock;

const ImageChecker kCheck = [](const std::string& path) { return ImageCheck{path, ""}; };

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "timeline_seek: %s\n", why.c_str());
  std::exit(1);
}

// Message i of a session, written into `out`.
using Source = std::function<void(long i, std::vector<uint8_t>& out)>;

void Short(std::vector<uint8_t>& out, CommandCode code, int32_t x, int32_t y, int32_t c1 = 0, int32_t c2 = 0,
           int32_t c3 = 0) {
  RecordMessage message;
  StartShortRecord(message, code);
  message.record.x = x;
  message.record.y = y;
  message.record.color1 = c1;
  message.record.color2 = c2;
  message.record.color3 = c3;
  message.record.alpha = 255;
  const auto* bytes = reinterpret_cast<const uint8_t*>(&message);
  out.assign(bytes, bytes + kPrefixSize + kShortRecordSize);
}

// Pixels over a screen never cleared, a colour every 64: the drawing history
// stays at its bound, so every checkpoint is as large as it gets.
void Pixel(long i, std::vector<uint8_t>& out) {
  if (i % 64 == 0) {
    Short(out, CommandCode::SetColor, 0, 0, static_cast<int32_t>(i % 256), 128, static_cast<int32_t>(255 - i % 256));
  } else {
    Short(out, CommandCode::DrawPixel, static_cast<int32_t>(i % 640), static_cast<int32_t>((i / 640) % 480));
  }
}

// The recorded session's messages, over and over.
Source Repeated(const char* path) {
  std::ifstream in(path, std::ios::binary);
  SessionReader reader(in);
  std::string error;
  if (!reader.Start(error)) Fail(std::string(path) + ": " + error);
  std::vector<std::vector<uint8_t>> recorded;
  for (SessionEntry entry; reader.Next(entry, error);) {
    if (entry.kind == SessionEntry::kMessage) recorded.push_back(entry.bytes);
  }
  if (!error.empty() || recorded.empty()) Fail(std::string(path) + ": no messages " + error);
  return [recorded](long i, std::vector<uint8_t>& out) { out = recorded[i % recorded.size()]; };
}

// Applies `n` messages, keeping the timeline or not; returns the seconds taken.
double Feed(const Source& source, long n, Scene& scene, Timeline* timeline) {
  std::vector<Change> changes;
  std::vector<uint8_t> m;
  const auto start = Clock::now();
  if (timeline) timeline->Add(scene, SessionEntry::kJoined, 1, 0, nullptr, 0, 0);
  ClientJoined(scene, 1, changes);
  for (long i = 0; i < n; ++i) {
    source(i, m);
    if (timeline) timeline->Add(scene, SessionEntry::kMessage, 1, 0, m.data(), m.size(), m.size());
    ApplyMessage(scene, 1, Decode(m.data(), m.size()), 0, kCheck, changes);
    changes.clear();
  }
  return Seconds(Clock::now() - start);
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

void Run(const char* label, const Source& source, long n, int seeks) {
  Scene plain;
  const double apply_only = Feed(source, n, plain, nullptr);
  Scene scene;
  Timeline timeline;
  const double with_timeline = Feed(source, n, scene, &timeline);
  std::printf("%s, %ld messages\n", label, n);
  std::printf("  applying them: %.0f msg/s alone, %.0f msg/s keeping the timeline (ratio %.3f)\n", n / apply_only,
              n / with_timeline, apply_only / with_timeline);
  std::printf("  timeline: %.1f MiB (bound %zu MiB); scene's drawing history %.1f MiB; resident %ld MiB\n",
              timeline.Bytes() / 1048576.0, kMaxTimelineBytes >> 20, scene.historyBytes / 1048576.0,
              ResidentKiB() / 1024);
  std::mt19937 random(7);
  std::vector<double> times;
  size_t largest = 0;
  long replayed_max = 0;
  for (int i = 0; i < seeks; ++i) {
    const long point = std::uniform_int_distribution<long>(0, n)(random);
    const auto start = Clock::now();
    const TimelineSpan span = timeline.Take(point, scene);
    const std::string answer = SeekJson(Seek(span, kCheck));
    times.push_back(Seconds(Clock::now() - start));
    largest = std::max(largest, answer.size());
    replayed_max = std::max(replayed_max, point - span.blocks.front()->first);
  }
  std::sort(times.begin(), times.end());
  // Without checkpoints: the scene rebuilt from the first message.
  Scene fresh;
  const auto start = Clock::now();
  Feed(source, n, fresh, nullptr);
  const std::string answer = SnapshotJson(fresh);
  const double from_start = Seconds(Clock::now() - start);
  std::printf("  seek to a random point (%d seeks): median %.1f ms, 90th %.1f ms, max %.1f ms; "
              "at most %ld messages replayed; answers up to %.1f MiB\n",
              seeks, times[times.size() / 2] * 1e3, times[times.size() * 9 / 10] * 1e3, times.back() * 1e3,
              replayed_max, largest / 1048576.0);
  std::printf("  replaying from the start to the last message instead: %.0f ms (median seek / that: %.4f)\n",
              from_start * 1e3, times[times.size() / 2] / from_start);
  (void)answer;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) Fail("usage: timeline_seek SESSION [--messages N] [--seeks N]");
  long n = 1000000;
  int seeks = 50;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--messages") == 0) n = std::atol(argv[i + 1]);
    if (std::strcmp(argv[i], "--seeks") == 0) seeks = std::atoi(argv[i + 1]);
  }
  Run("The demo's mix", Repeated(argv[1]), n, seeks);
  Run("Pixels on a screen never cleared", Pixel, n, seeks);
}
