// The host application's message rate into vesprine-monitor, against its rate
// into a reader that only drains, measured in one run: the plain monitor with
// its lines going to a file, and the monitor with --view and a page open (a
// WebSocket on /live that reads every frame it is sent); and the monitor
// with --record against the plain monitor. Rounds alternate which reader
// goes first. Last, how fast a recorded session replays.
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "VesprineDovetide.h"
#include "monitor_client.h"
#include "protocol/socket_address_linux.h"
#include "protocol/protocol.h"

namespace {

using Clock = std::chrono::steady_clock;

int failures = 0;
#define DO(call) failures += (call) != 1
#include "demo_scene.h"

constexpr int kSceneMessages = 63;  // the calls DrawScene makes

[[noreturn]] void Fail(const char* why) {
  std::fprintf(stderr, "monitor_throughput: %s\n", why);
  std::exit(1);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Case {
  const char* label;
  std::function<void(int)> send;  // sends this many messages through the library
  int messages;
};

// Times the host sending `n` messages, from Init to Dispose; returns messages per second.
double TimeHost(const Case& c) {
  const auto start = Clock::now();
  if (Init() != 1) Fail("no display host to connect to");
  failures = 0;
  c.send(c.messages);
  Dispose();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (failures != 0) Fail("a message was not delivered");
  return c.messages / seconds;
}

// The baseline: a reader that serves the socket name and only drains it, as
// fast as the transport allows (up to 64 messages a call), counting them.
double IntoDrain(const Case& c) {
  const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  const SocketAddress address;
  if (bind(listener, address.get(), address.length) != 0 || listen(listener, 1) != 0) {
    Fail("cannot serve the socket name");
  }
  long drained = 0;
  std::thread drain([&] {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    constexpr unsigned kCount = 64;
    const std::unique_ptr<uint8_t[]> buffers(new uint8_t[kCount * kMaxKept]);
    mmsghdr headers[kCount]{};
    iovec vectors[kCount];
    for (unsigned m = 0; m < kCount; ++m) {
      vectors[m] = {buffers.get() + m * kMaxKept, kMaxKept};
      headers[m].msg_hdr.msg_iov = &vectors[m];
      headers[m].msg_hdr.msg_iovlen = 1;
    }
    // The host sends no empty message, so a zero-length entry is the end.
    for (;;) {
      const int got = recvmmsg(fd, headers, kCount, MSG_WAITFORONE, nullptr);
      if (got <= 0) break;
      int m = 0;
      while (m < got && headers[m].msg_len > 0) ++m;
      drained += m;
      if (m < got) break;
    }
    close(fd);
  });
  const double rate = TimeHost(c);
  drain.join();
  close(listener);
  if (drained != c.messages) Fail("the drain reader missed messages");
  return rate;
}

enum class Reader { kDrain, kPlain, kView, kRecord };

struct Paths {
  std::string monitor, images, lines, session;
};

// Frames a second that the page got while the host sent, per --view round.
std::vector<double> page_rates;

// Starts the monitor to take exactly `c.messages` messages, lines to a file,
// and waits until it serves the pipe (and, with --view, until the page has
// its first frame).
double IntoMonitor(const Case& c, const Paths& paths, Reader reader) {
  const bool view = reader == Reader::kView;
  std::vector<std::string> args = {paths.monitor, "--count", std::to_string(c.messages), "--images", paths.images};
  if (view) args.insert(args.end(), {"--view", "--listen", "127.0.0.1:0"});
  if (reader == Reader::kRecord) args.insert(args.end(), {"--record", paths.session});
  bench::Monitor monitor(args, paths.lines, paths.lines + ".said");
  monitor.WaitFor("serving");
  std::unique_ptr<bench::LivePage> page;
  if (view) {
    page = std::make_unique<bench::LivePage>(monitor.Port());
    if (!page->WaitForMessage(0, 30)) Fail("the page got no first frame");
    page->Forget();
  }
  const auto start = Clock::now();
  const double rate = TimeHost(c);
  const auto end = Clock::now();
  if (monitor.Wait(60) != 0) Fail("the monitor did not take every message, or failed");
  if (page) {
    const auto frames = page->Frames();
    const auto shown = std::count_if(frames.begin(), frames.end(), [&](const auto& f) { return f.at <= end; });
    page_rates.push_back(double(shown) / std::chrono::duration<double>(end - start).count());
  }
  return rate;
}

double Rate(const Case& c, const Paths& paths, Reader reader) {
  return reader == Reader::kDrain ? IntoDrain(c) : IntoMonitor(c, paths, reader);
}

// Replays the last recorded session into the plain monitor; messages per second.
double ReplayRate(const Case& c, const Paths& paths) {
  const std::string command =
      "'" + paths.monitor + "' --replay '" + paths.session + "' >'" + paths.lines + "' 2>/dev/null";
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) Fail("the replay failed");
  return c.messages / std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: monitor_throughput MONITOR IMAGES_DIR LINES_FILE [--messages N] [--rounds R]\n", stderr);
    return 2;
  }
  int messages = 100000;
  int rounds = 7;
  for (int i = 4; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--messages") == 0) messages = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
  }
  if (messages < kSceneMessages || rounds < 1) Fail("--messages at least 63, --rounds at least 1");
  signal(SIGPIPE, SIG_IGN);

  const int scenes = messages / kSceneMessages;
  const Case cases[] = {
      {"64 B DrawPixel",
       [](int n) {
         for (int i = 0; i < n; ++i) DO(DrawPixel(i % 640, i % 480));
       },
       messages},
      {"demo mix",
       [](int n) {
         for (int i = 0; i < n / kSceneMessages; ++i) DrawScene();
       },
       scenes * kSceneMessages},
  };

  const Paths paths{argv[1], argv[2], argv[3], std::string(argv[3]) + ".session"};
  struct Row {
    const char* label;
    Reader reader, baseline;
  };
  const Row rows[] = {{"plain/drain", Reader::kPlain, Reader::kDrain},
                      {"--view/drain", Reader::kView, Reader::kDrain},
                      {"--record/plain", Reader::kRecord, Reader::kPlain}};
  std::printf("%-16s %-15s %9s %14s %14s %10s %16s\n", "message", "reader/baseline", "per round", "reader msg/s",
              "baseline msg/s", "ratio", "(min - max)");
  for (const Case& c : cases) {
    for (const Row& row : rows) {
      std::vector<double> rates, baseline_rates, ratios;
      Rate(c, paths, row.reader);  // warm-up
      for (int r = 0; r < rounds; ++r) {
        double rate, baseline_rate;
        if (r % 2 == 0) {
          rate = Rate(c, paths, row.reader);
          baseline_rate = Rate(c, paths, row.baseline);
        } else {
          baseline_rate = Rate(c, paths, row.baseline);
          rate = Rate(c, paths, row.reader);
        }
        rates.push_back(rate);
        baseline_rates.push_back(baseline_rate);
        ratios.push_back(rate / baseline_rate);
      }
      std::printf("%-16s %-15s %9d %14.0f %14.0f %10.3f   (%.3f - %.3f)\n", c.label, row.label, c.messages,
                  Median(rates), Median(baseline_rates), Median(ratios),
                  *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()));
      if (row.reader == Reader::kView) {
        std::printf("%-16s %-15s page open: %.1f frames/s received while the host sent (median)\n", c.label,
                    row.label, bench::Median(page_rates));
        page_rates.clear();
      }
      std::fflush(stdout);
    }
    std::vector<double> replays;
    for (int r = 0; r < rounds; ++r) replays.push_back(ReplayRate(c, paths));
    std::printf("%-16s %-15s %9d %14.0f\n", c.label, "--replay", c.messages, Median(replays));
  }
  return 0;
}
