// The view's render thread, three ways:
//  1. messages applied a second by the render thread alone (the monitor's
//     Timeline and Renderer in this process, the timeline filled first with
//     the messages the library sent), for a pixel flood, the demo's mix,
//     full-screen filled rectangles, text, and the pixels and outlined
//     rectangles that the page applied in the browser before the monitor drew;
//  2. how far the page's frames lag the pipe when the host sends at its full
//     rate into `vesprine-monitor --view` with a page open: the time from a
//     message sent to a frame that shows it, and once the host is done, how
//     many messages were left to show and how long they took;
//  3. 1,000 sprites, one of them moving: distinct frames a second the page is
//     sent, with the host at full rate and with one move a millisecond;
//  4. worst cases, the render thread alone again: on a screen of 8192×8192,
//     one message repeated (or a few in turn) that costs the most for what it
//     changes, or changes nothing at all.
//   render_rate MONITOR IMAGES_DIR [--rounds R] [--only applied|lag|sprites|worst]
// Run it where it may serve the pipe name alone (a network namespace).
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "VesprineDovetide.h"
#include "monitor_client.h"
#include "protocol/socket_address_linux.h"
#include "protocol/protocol.h"
#include "pipeline/pipeline.h"

namespace {

using bench::Clock;
using bench::Fail;
using bench::Seconds;

int failures = 0;
#define DO(call) failures += (call) != 1
#include "demo_scene.h"

constexpr int kSceneMessages = 63;  // the calls DrawScene makes

struct Workload {
  const char* label;
  long messages;  // applied in-process
  long sent;      // sent through the monitor, for its lag,
  long slice;     // in slices of this many
  std::function<void(long, long)> send;  // sends messages [first, first + n) through the library
};

void Pixels(long first, long n) {
  for (long i = first; i < first + n; ++i) {
    if (i % 64 == 0) {
      DO(SetColor(int32_t(i % 256), 128, int32_t(255 - i % 256), 255));
    } else {
      DO(DrawPixel(int32_t(i % 640), int32_t(i / 640 % 480)));
    }
  }
}

void Mix(long, long n) {
  for (long i = 0; i < n / kSceneMessages; ++i) DrawScene();
}

// Full-screen filled rectangles, opaque, in colours that change every 16.
void Rectangles(long first, long n) {
  for (long i = first; i < first + n; ++i) {
    if (i % 16 == 0) {
      DO(SetColor(int32_t(i * 7 % 256), 90, 160, 255));
    } else {
      DO(DrawRect(0, 0, 640, 480, 1));
    }
  }
}

// DrawString of 30 characters at 24 px, over the screen.
void Text(long first, long n) {
  for (long i = first; i < first + n; ++i) {
    DO(DrawString(int32_t(i * 37 % 400), int32_t(i * 53 % 440), "The quick brown fox jumps over", 24));
  }
}

// What page_rate.mjs drew before the monitor rendered: half pixels, half outlined rectangles.
void PixelsAndOutlines(long, long n) {
  for (long i = 0; i < n / 2; ++i) DO(DrawPixel(10, 20));
  for (long i = n / 2; i < n; ++i) DO(DrawRect(5, 5, 40, 30, 0));
}

// The messages the library sends for `send`, as a reader of the pipe name gets them.
struct Captured {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> sizes;
};

Captured Capture(const std::function<void(long, long)>& send, long n) {
  const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  const SocketAddress address;
  if (bind(listener, address.get(), address.length) != 0 || listen(listener, 1) != 0) {
    Fail("cannot serve the socket name (run this in a network namespace of its own)");
  }
  Captured captured;
  std::thread reader([&] {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    std::vector<uint8_t> buffer(kMaxKept);
    for (;;) {
      const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
      if (got <= 0) break;
      captured.bytes.insert(captured.bytes.end(), buffer.begin(), buffer.begin() + got);
      captured.sizes.push_back(uint32_t(got));
    }
    close(fd);
  });
  if (Init() != 1) Fail("cannot connect to the capturing reader");
  failures = 0;
  send(0, n);
  Dispose();
  reader.join();
  close(listener);
  if (failures != 0) Fail("a message was not delivered");
  return captured;
}

// 1. The render thread alone: the timeline filled, then the renderer started
// and timed until it has applied every message.
double AppliedRate(const Captured& messages, const std::string& images_folder) {
  Pipeline pipeline(images_folder);
  Renderer& renderer = pipeline.renderer;
  pipeline.Add(SessionEntry::kJoined, 1, 0, nullptr, 0, 0);
  const uint8_t* at = messages.bytes.data();
  for (size_t i = 0; i < messages.sizes.size(); ++i) {
    // 60 messages a frame at 60 frames a second, as the sessions are timed.
    pipeline.Add(SessionEntry::kMessage, 1, int64_t(i / 60) * 16667, at, messages.sizes[i], messages.sizes[i]);
    at += messages.sizes[i];
  }
  const auto n = int64_t(messages.sizes.size());
  const auto start = Clock::now();
  renderer.Start();
  while (renderer.Applied() < n) std::this_thread::sleep_for(std::chrono::microseconds(200));
  const double seconds = Seconds(Clock::now() - start);
  renderer.Stop();
  return double(n) / seconds;
}

// 4. A worst case: the set-up sent once, then `repeated` in turn.
struct WorstCase {
  const char* label;
  std::function<void()> setup;
  std::function<void()> repeated;
  double written = 0;  // bytes of pixels each message writes, for GB/s
};

// The 4,095 characters a string carries at most.
std::string LongText() {
  std::string text;
  while (text.size() < 4095) text += "The quick brown fox jumps over the lazy dog; AVA Wo. ";
  return text.substr(0, 4095);
}

void Screen8192() { DO(SetResolution(8192, 8192)); }

const WorstCase kWorstCases[] = {
    {"DrawString 4,095 ch 1,024 px at x = 2^31-1", Screen8192,
     [] { DO(DrawString(INT_MAX, 0, LongText().c_str(), 1024)); }},
    {"DrawString 4,095 ch 24 px on screen", Screen8192, [] { DO(DrawString(0, 100, LongText().c_str(), 24)); }},
    {"DrawRect filled 8192x8192", Screen8192, [] { DO(DrawRect(0, 0, 8192, 8192, 1)); }, 8192.0 * 8192 * 4},
    {"DrawEllipse 2^31-1 wide, screen inside, outlined", Screen8192,
     [] { DO(DrawEllipse(4096 - 1073741823, 4096 - 1073741823, INT_MAX, INT_MAX, 0)); }},
    {"DrawEllipse 2^31-1 wide, edge across, outlined", Screen8192,
     [] { DO(DrawEllipse(4096 - 1073741823, 4096 - INT_MAX, INT_MAX, INT_MAX, 0)); }},
    {"DrawEllipse 2^31-1 wide, edge across, filled", Screen8192,
     [] { DO(DrawEllipse(4096 - 1073741823, 4096 - INT_MAX, INT_MAX, INT_MAX, 1)); }},
    {"DrawLine corner to corner of int32, crossing", Screen8192,
     [] { DO(DrawLine(INT_MIN, INT_MIN + 40, INT_MAX - 40, INT_MAX)); }},
    {"DrawLine corner to corner of int32, missing", Screen8192,
     [] { DO(DrawLine(INT_MIN, INT_MAX, INT_MAX, INT_MIN + 40000)); }},
    {"DrawImageScaled 32x32 to 8192x8192, 192x192 shown", Screen8192,
     [] { DO(DrawImageScaled("images/logo.png", -8000, -8000, 8192, 8192, 255)); }},
    {"SetBound of one of 1,024 sprites of 256x256, moving",
     [] {
       Screen8192();
       for (int i = 0; i < 1024; ++i) {
         const std::string name = "s" + std::to_string(i);
         DO(CreateSprite(name.c_str(), 256, 256));
         DO(SetEditSprite(name.c_str()));
         DO(SetColor(i % 256, 128, 255 - i % 256, 255));
         DO(DrawRect(0, 0, 256, 256, 1));
         DO(SetBound(i % 32 * 256 + 3, i / 32 * 256 + 5));
       }
     },
     [] {
       DO(SetBound(4000, 4000));
       DO(SetBound(4001, 4001));
     }},
    {"SetBound of a 8192x8192 sprite, moving",
     [] {
       Screen8192();
       DO(CreateSprite("big", 8192, 8192));
       DO(SetEditSprite("big"));
       DO(SetColor(200, 80, 40, 128));
       DO(DrawRect(0, 0, 8192, 8192, 1));
     },
     [] {
       DO(SetBound(1, 1));
       DO(SetBound(0, 0));
     }},
};

// Messages a second the render thread applies: the timeline filled with the
// set-up, which is applied and its frame composed first; then `n` messages
// of `repeated` in turn, timed from the renderer's start to the last applied.
double WorstRate(const Captured& setup, const Captured& repeated, long n, const std::string& images_folder) {
  Pipeline pipeline(images_folder);
  Renderer& renderer = pipeline.renderer;
  pipeline.Add(SessionEntry::kJoined, 1, 0, nullptr, 0, 0);
  const uint8_t* at = setup.bytes.data();
  for (const uint32_t size : setup.sizes) {
    pipeline.Add(SessionEntry::kMessage, 1, 0, at, size, size);
    at += size;
  }
  const auto ready = int64_t(setup.sizes.size());
  renderer.Start();
  while (renderer.Applied() < ready || renderer.Latest()->message < ready) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  renderer.Stop();
  std::vector<size_t> starts;
  size_t offset = 0;
  for (const uint32_t size : repeated.sizes) starts.push_back(std::exchange(offset, offset + size));
  for (long i = 0; i < n; ++i) {
    const size_t k = size_t(i) % starts.size();
    pipeline.Add(SessionEntry::kMessage, 1, (i / 60) * 16667, repeated.bytes.data() + starts[k], repeated.sizes[k],
                 repeated.sizes[k]);
  }
  const auto start = Clock::now();
  renderer.Start();
  while (renderer.Applied() < ready + n) std::this_thread::sleep_for(std::chrono::microseconds(200));
  const double seconds = Seconds(Clock::now() - start);
  renderer.Stop();
  return double(n) / seconds;
}

// Each worst case over a fifth of a second of messages or more (at most
// 2,000,000, or 128 MiB of them).
void WorstCases(const std::string& images_folder, int rounds) {
  std::puts("4. Worst cases on a 8192x8192 screen: messages a second applied by the render thread alone, after a set-up\n"
            "   applied and composed, median (min - max)");
  for (const WorstCase& w : kWorstCases) {
    const Captured setup = Capture([&](long, long) { w.setup(); }, 0);
    const Captured repeated = Capture([&](long, long) { w.repeated(); }, 0);
    // From 2 messages up, eight times more each time, until a round takes a
    // fifth of a second; then more rounds, unless one took over a second.
    const double size = double(repeated.bytes.size()) / double(repeated.sizes.size()) + 64;
    const long most = long(std::min(2e6, double(128 << 20) / size));
    long n = 2;
    std::vector<double> rates{WorstRate(setup, repeated, n, images_folder)};
    while (n < most && double(n) / rates.back() < 0.2) {
      n = std::min(most, n * 8);
      rates = {WorstRate(setup, repeated, n, images_folder)};
    }
    for (int r = 1; r < rounds && double(n) / rates.back() < 1; ++r) {
      rates.push_back(WorstRate(setup, repeated, n, images_folder));
    }
    std::printf("  %-50s %8ld messages: %s msg/s", w.label, n, bench::Spread(rates, 1).c_str());
    if (w.written > 0) std::printf(", %.2f GB/s written", bench::Median(rates) * w.written / 1e9);
    std::puts(rates.size() == 1 ? " (one round)" : "");
    std::fflush(stdout);
  }
}

struct Paths {
  std::string monitor, images;
};

// A monitor with --view and a page open that has its first frame.
struct Viewed {
  explicit Viewed(const Paths& paths)
      : monitor({paths.monitor, "--view", "--listen", "127.0.0.1:0", "--images", paths.images}, "/dev/null",
                Said()) {
    monitor.WaitFor("serving");
    page = std::make_unique<bench::LivePage>(monitor.Port());
    if (!page->WaitForMessage(0, 30)) Fail("the page got no first frame");
  }
  static std::string Said() {
    static const std::string path = "/tmp/render_rate." + std::to_string(getpid()) + ".said";
    return path;
  }
  ~Viewed() {
    page.reset();
    monitor.Stop();
    std::remove(Said().c_str());
  }
  bench::Monitor monitor;
  std::unique_ptr<bench::LivePage> page;
};

// When the host had sent how many messages.
struct Sent {
  Clock::time_point at;
  long count;
};

struct Lag {
  double host_rate;     // messages a second the host sent
  double shown_rate;    // messages a second shown, from the first sent to the last shown
  double latency_p50;   // ms from a message sent to a frame that shows it
  double latency_p95;
  double latency_max;
  long behind;          // messages not yet shown when the host was done
  double catch_up;      // ms from the host done to the last message shown
  double frames;        // frames a second the page got
};

// 2. The host at its full rate into the view, a page open.
Lag LagOf(const Workload& w, const Paths& paths) {
  Viewed view(paths);
  bench::LivePage& page = *view.page;
  const int64_t before = page.LatestMessage();
  std::vector<Sent> sent;
  sent.reserve(size_t(w.sent / 256 + 2));
  // The host sends in slices so that the time each message left is known
  // to within a slice.
  if (Init() != 1) Fail("no display host to connect to");
  failures = 0;
  const auto start = Clock::now();
  sent.push_back({start, 0});
  long done = 0;
  while (done < w.sent) {
    w.send(done, w.slice);
    done += w.slice;
    sent.push_back({Clock::now(), done});
  }
  const auto host_done = Clock::now();
  Dispose();
  if (failures != 0) Fail("a message was not delivered");
  const int64_t last = before + done;
  if (!page.WaitForMessage(last, 300)) Fail("the page never showed the last message");
  const auto frames = page.Frames();
  const auto shown = frames.back().at;
  // When message m (counted from the first sent) left the host: the end of its slice.
  const auto left = [&](int64_t m) {
    const auto it = std::lower_bound(sent.begin(), sent.end(), m, [](const Sent& s, int64_t v) { return s.count < v; });
    return it == sent.end() ? sent.back().at : it->at;
  };
  std::vector<double> latencies;
  int64_t shown_at_done = before;
  long counted = 0;
  for (const auto& f : frames) {
    if (f.at < start || f.message <= before) continue;
    ++counted;
    latencies.push_back(Seconds(f.at - left(f.message - before)) * 1e3);
    if (f.at <= host_done) shown_at_done = std::max(shown_at_done, f.message);
  }
  Lag lag;
  lag.host_rate = double(done) / Seconds(host_done - start);
  lag.shown_rate = double(done) / Seconds(shown - start);
  lag.latency_p50 = bench::Percentile(latencies, 0.5);
  lag.latency_p95 = bench::Percentile(latencies, 0.95);
  lag.latency_max = latencies.empty() ? 0 : bench::Most(latencies);
  lag.behind = long(last - shown_at_done);
  lag.catch_up = Seconds(shown - host_done) * 1e3;
  lag.frames = double(counted) / Seconds(shown - start);
  return lag;
}

// 3. 1,000 sprites of 16×16, one moving; distinct frames a second from the
// first move sent to the frame that shows the last, and how long that took.
struct SpriteFrames {
  double frames;   // distinct frames a second
  double seconds;  // from the first move sent to the last shown
  double tiles;    // tiles a frame (median)
};

SpriteFrames MovingSprite(const Paths& paths, long moves, bool paced) {
  Viewed view(paths);
  bench::LivePage& page = *view.page;
  if (Init() != 1) Fail("no display host to connect to");
  failures = 0;
  long messages = 0;
  for (int i = 0; i < 1000; ++i) {
    const std::string name = "s" + std::to_string(i);
    DO(CreateSprite(name.c_str(), 16, 16));
    DO(SetEditSprite(name.c_str()));
    DO(SetColor(i % 256, 128, 255 - i % 256, 255));
    DO(DrawRect(0, 0, 16, 16, 1));
    DO(SetBound(i * 37 % 624, i * 53 % 464));
    DO(SetZ(i % 7));
    messages += 6;
  }
  DO(SetEditSprite("s500"));
  ++messages;
  if (!page.WaitForMessage(messages, 60)) Fail("the sprites were never shown");
  page.Forget();
  const auto start = Clock::now();
  for (long i = 0; i < moves; ++i) {
    DO(SetBound(int32_t(i % 600), int32_t(100 + i / 600 % 300)));
    if (paced) std::this_thread::sleep_until(start + std::chrono::milliseconds(i + 1));
  }
  messages += moves;
  if (!page.WaitForMessage(messages, 300)) Fail("the last move was never shown");
  Dispose();
  if (failures != 0) Fail("a message was not delivered");
  const auto frames = page.Frames();
  std::vector<double> tiles;
  int64_t previous = -1;
  for (const auto& f : frames) {
    if (f.message != previous) tiles.push_back(f.tiles);
    previous = f.message;
  }
  const double seconds = Seconds(frames.back().at - start);
  return {double(tiles.size()) / seconds, seconds, bench::Median(tiles)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) Fail("usage: render_rate MONITOR IMAGES_DIR [--rounds R] [--only applied|lag|sprites|worst]");
  const Paths paths{argv[1], argv[2]};
  int rounds = 5;
  std::string only;
  for (int i = 3; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--only") == 0) only = argv[i + 1];
  }
  signal(SIGPIPE, SIG_IGN);
  const Workload workloads[] = {
      {"64 B DrawPixel", 1000000, 256 * 1200, 256, Pixels},
      {"demo mix", 63 * 4000, 63 * 4 * 500, 63 * 4, Mix},
      {"640x480 filled DrawRect", 3000, 16 * 100, 16, Rectangles},
      {"DrawString 30 ch 24 px", 30000, 64 * 250, 64, Text},
      {"pixels + outlined rects", 200000, 0, 1, PixelsAndOutlines},
  };
  if (only.empty() || only == "applied") {
    std::puts("1. Messages a second applied by the render thread alone (timeline filled first), median (min - max)");
    for (const Workload& w : workloads) {
      const Captured messages = Capture(w.send, w.messages);
      std::vector<double> rates;
      for (int r = 0; r < rounds; ++r) rates.push_back(AppliedRate(messages, paths.images));
      std::printf("  %-26s %8zu messages: %s msg/s\n", w.label, messages.sizes.size(), bench::Spread(rates, 0).c_str());
      std::fflush(stdout);
    }
  }
  if (only.empty() || only == "lag") {
    std::puts("2. The host at full rate into --view with a page open: rates, the time from a message sent to a frame\n"
              "   showing it (all frames of all rounds), and what was left to show once the host was done;\n"
              "   median of the rounds (min - max)");
    for (const Workload& w : workloads) {
      if (w.sent == 0) continue;
      std::vector<double> host, shown, p50, p95, most, behind, catch_up, frames;
      for (int r = 0; r < rounds; ++r) {
        const Lag lag = LagOf(w, paths);
        host.push_back(lag.host_rate);
        shown.push_back(lag.shown_rate);
        p50.push_back(lag.latency_p50);
        p95.push_back(lag.latency_p95);
        most.push_back(lag.latency_max);
        behind.push_back(double(lag.behind));
        catch_up.push_back(lag.catch_up);
        frames.push_back(lag.frames);
      }
      std::printf("  %-26s %ld messages: host %s msg/s, shown %s msg/s, %s frames/s\n", w.label, w.sent,
                  bench::Spread(host, 0).c_str(), bench::Spread(shown, 0).c_str(), bench::Spread(frames, 1).c_str());
      std::printf("  %-26s sent to shown: median %s ms, 95th %s ms, max %s ms\n", "", bench::Spread(p50, 1).c_str(),
                  bench::Spread(p95, 1).c_str(), bench::Spread(most, 1).c_str());
      std::printf("  %-26s host done: %s messages left to show, shown %s ms later\n", "",
                  bench::Spread(behind, 0).c_str(), bench::Spread(catch_up, 1).c_str());
      std::fflush(stdout);
    }
  }
  if (only.empty() || only == "sprites") {
    std::puts("3. 1,000 sprites, one moving: distinct frames a second the page was sent, from the first move sent\n"
              "   to the last shown, median (min - max)");
    for (const bool paced : {false, true}) {
      const long moves = paced ? 3000 : 300000;
      std::vector<double> frames, seconds, tiles;
      for (int r = 0; r < rounds; ++r) {
        const SpriteFrames f = MovingSprite(paths, moves, paced);
        frames.push_back(f.frames);
        seconds.push_back(f.seconds);
        tiles.push_back(f.tiles);
      }
      std::printf("  %-34s %s frames/s over %s s, %s tiles a frame\n",
                  paced ? "3,000 moves, one a millisecond:" : "300,000 moves at the host's full rate:",
                  bench::Spread(frames, 1).c_str(), bench::Spread(seconds, 2).c_str(), bench::Spread(tiles, 0).c_str());
      std::fflush(stdout);
    }
  }
  if (only.empty() || only == "worst") WorstCases(paths.images, rounds);
  return 0;
}
