// Looking back over a long session served by `vesprine-monitor --replay FILE
// --view`: how long the replay and its rendering take, the monitor's memory
// once every message is rendered (timeline, tiles and checkpoints
// included), and the time to answer, as a script gets it:
//   GET /frame?message=N for random N (median, 95th, 99th percentile, max),
//   GET /frame for N, N+1, ... (stepping forward from a point shown),
//   a seek over the page's WebSocket, to the frame that shows the point,
//   for random N and for N, N+1, ...;
//   GET /pixel?x=X&y=Y&message=N for random X, Y and N, and at the last message.
// With --old, the monitor is one from before it rendered pixels itself: its
// /seek?message=N (the scene's drawing as JSON, which the page then drew)
// stands in for /frame, and it has neither /live nor /pixel.
//   look_back MONITOR IMAGES_DIR SESSION... [--frames K] [--pixels K] [--old]
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "input/session.h"
#include "monitor_client.h"

namespace {

using bench::Clock;
using bench::Fail;
using bench::Seconds;

int64_t MessagesIn(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  SessionReader reader(in);
  std::string error;
  if (!reader.Start(error)) Fail(path + ": " + error);
  int64_t messages = 0;
  for (SessionEntry entry; reader.Next(entry, error);) messages += entry.kind == SessionEntry::kMessage;
  if (!error.empty()) Fail(path + ": " + error);
  return messages;
}

struct Options {
  std::string monitor, images;
  int frames = 200;
  int pixels = 40;
  bool old = false;
};

// Times `count` GETs of the targets `target(i)` makes; milliseconds each.
template <class Target>
std::vector<double> Time(bench::HttpClient& http, int count, const Target& target, size_t* largest = nullptr) {
  std::vector<double> times;
  std::string body;
  for (int i = 0; i < count; ++i) {
    const std::string path = target(i);
    const auto start = Clock::now();
    const int status = http.Get(path, body);
    times.push_back(Seconds(Clock::now() - start) * 1e3);
    if (status != 200) Fail("GET " + path + ": " + std::to_string(status) + " " + body);
    if (largest != nullptr) *largest = std::max(*largest, body.size());
  }
  return times;
}

void Say(const char* what, const std::vector<double>& ms) {
  std::printf("  %-44s median %7.1f ms, 95th %7.1f, 99th %7.1f, max %7.1f (%zu asked)\n", what,
              bench::Percentile(ms, 0.5), bench::Percentile(ms, 0.95), bench::Percentile(ms, 0.99), bench::Most(ms),
              ms.size());
}

void Run(const Options& o, const std::string& session) {
  const int64_t total = MessagesIn(session);
  std::printf("%s: %lld messages\n", session.c_str(), static_cast<long long>(total));
  const std::string said = "/tmp/look_back." + std::to_string(getpid()) + ".said";
  const auto start = Clock::now();
  bench::Monitor monitor({o.monitor, "--replay", session, "--view", "--listen", "127.0.0.1:0", "--images", o.images},
                         "/dev/null", said);
  const int port = monitor.Port();
  monitor.WaitFor("the replay is done");
  const double replayed = Seconds(Clock::now() - start);
  double rendered = replayed;
  if (!o.old) {
    // A page open until the render thread has shown the last message.
    bench::LivePage page(port);
    if (!page.WaitForMessage(total, 900)) Fail("the page never showed the last message");
    rendered = Seconds(Clock::now() - start);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  std::printf("  replayed in %.1f s, %s%.1f s; resident %ld MiB (at most %ld MiB) beside the timeline's bound of "
              "256 MiB\n",
              replayed, o.old ? "applied by then: " : "rendered to the last message in ", rendered,
              monitor.Kib("VmRSS:") / 1024, monitor.Kib("VmHWM:") / 1024);
  std::fflush(stdout);

  bench::HttpClient http(port);
  const std::string frame = o.old ? "/seek?message=" : "/frame?message=";
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int64_t> point(0, total);
  size_t largest = 0;
  const auto frames = Time(http, o.frames, [&](int) { return frame + std::to_string(point(random)); }, &largest);
  Say(o.old ? "GET /seek?message=N, N random:" : "GET /frame?message=N, N random:", frames);
  const int64_t from = point(random);
  const auto steps = Time(http, 60, [&](int i) { return frame + std::to_string(std::min(total, from + i)); });
  Say("the same, stepping forward N, N+1, ...:", steps);
  std::printf("  answers up to %.2f MiB\n", double(largest) / 1048576.0);
  std::fflush(stdout);
  if (!o.old) {
    // The page's way: a seek over the WebSocket, until the frame arrives.
    bench::SeekingPage page(port);
    std::vector<double> seeks, steps_ws;
    for (int i = 0; i < o.frames; ++i) seeks.push_back(page.Seek(point(random)));
    Say("seek over the WebSocket to a frame, N random:", seeks);
    const int64_t at = point(random);
    for (int i = 0; i < 60; ++i) steps_ws.push_back(page.Seek(std::min(total, at + i)));
    Say("the same, stepping forward N, N+1, ...:", steps_ws);
    std::fflush(stdout);
    std::uniform_int_distribution<int32_t> x(0, 639), y(0, 479);
    const auto pixels = Time(http, o.pixels, [&](int) {
      return "/pixel?x=" + std::to_string(x(random)) + "&y=" + std::to_string(y(random)) +
             "&message=" + std::to_string(point(random));
    });
    Say("GET /pixel?x&y&message=N, all random:", pixels);
    const auto last = Time(http, 10, [&](int) {
      return "/pixel?x=" + std::to_string(x(random)) + "&y=" + std::to_string(y(random)) +
             "&message=" + std::to_string(total);
    });
    Say("the same at the last message:", last);
  }
  std::printf("  resident after the looks back %ld MiB (at most %ld MiB)\n", monitor.Kib("VmRSS:") / 1024,
              monitor.Kib("VmHWM:") / 1024);
  std::fflush(stdout);
  monitor.Stop();
  std::remove(said.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) Fail("usage: look_back MONITOR IMAGES_DIR SESSION... [--frames K] [--pixels K] [--old]");
  Options o{argv[1], argv[2]};
  std::vector<std::string> sessions;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--frames" && i + 1 < argc) {
      o.frames = std::atoi(argv[++i]);
    } else if (arg == "--pixels" && i + 1 < argc) {
      o.pixels = std::atoi(argv[++i]);
    } else if (arg == "--old") {
      o.old = true;
    } else {
      sessions.push_back(arg);
    }
  }
  signal(SIGPIPE, SIG_IGN);
  for (const std::string& session : sessions) Run(o, session);
  return 0;
}
