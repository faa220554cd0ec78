// Throughput of the library against the bare transport, measured in one run:
// for each message size, rounds of N messages through the library and N
// identical messages written raw on a connection of the benchmark's own,
// alternating, to a server thread that drains and counts them.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "VesprineDovetide.h"
#include "messages.h"
#include "test_server.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Case {
  const char* label;
  std::function<int32_t()> call;  // nothing: raw against raw, the noise floor
  Bytes raw;                      // the same message, as the library sends it
  int messages;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Sends `n` messages one way and returns messages per second, counting until
// the server has read the last of them.
double Round(TestServer& server, uint64_t& received, int n, const std::function<bool()>& send_all) {
  const auto start = Clock::now();
  if (!send_all()) {
    std::fputs("throughput: a write failed\n", stderr);
    std::exit(1);
  }
  received += static_cast<uint64_t>(n);
  if (!server.WaitForCount(received)) {
    std::fputs("throughput: messages went missing\n", stderr);
    std::exit(1);
  }
  return n / std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  int messages = 100000;  // per round for the smallest size
  int rounds = 11;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--messages") == 0) messages = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
  }
  if (messages < 10 || rounds < 1) {
    std::fputs("usage: throughput [--messages N] [--rounds R]\n", stderr);
    return 2;
  }

  static const std::string text(4000, 't');
  static const std::string line(65535, 'l');
  const Case cases[] = {
      {"64 B DrawPixel", [] { return DrawPixel(10, 20); }, ShortMessage(1, {{at::x, 10}, {at::y, 20}}), messages},
      {"4296 B DrawString", [] { return DrawString(5, 6, text.c_str(), 7); },
       TextMessage(3, text, {{at::x, 5}, {at::y, 6}, {at::textParam, 7}}), std::max(10, messages / 2)},
      {"65540 B LogI", [] { return LogI(line.c_str()); }, LogMessage(22, line), std::max(10, messages / 10)},
      {"64 B raw (A/A)", nullptr, ShortMessage(1, {{at::x, 10}, {at::y, 20}}), messages},
  };

  TestServer server(false);
  uint64_t received = 0;
  std::printf("%-18s %9s %14s %14s %10s %16s\n", "message", "per round", "library msg/s", "raw msg/s",
              "lib/raw", "(min - max)");
  for (const Case& c : cases) {
    const auto raw = [&] {
      RawClient client;
      bool ok = client.Connected();
      for (int i = 0; i < c.messages && ok; ++i) ok = client.Send(c.raw);
      return ok;
    };
    const std::function<bool()> library = !c.call ? std::function<bool()>(raw) : [&] {
      bool ok = Init() == 1;
      for (int i = 0; i < c.messages && ok; ++i) ok = c.call() == 1;
      Dispose();
      return ok;
    };
    std::vector<double> library_rates, raw_rates, ratios;
    Round(server, received, c.messages, library);  // warm-up
    for (int r = 0; r < rounds; ++r) {
      // Alternate which goes first, so drift in the machine favours neither.
      double lib_rate, raw_rate;
      if (r % 2 == 0) {
        lib_rate = Round(server, received, c.messages, library);
        raw_rate = Round(server, received, c.messages, raw);
      } else {
        raw_rate = Round(server, received, c.messages, raw);
        lib_rate = Round(server, received, c.messages, library);
      }
      library_rates.push_back(lib_rate);
      raw_rates.push_back(raw_rate);
      ratios.push_back(lib_rate / raw_rate);
    }
    std::printf("%-18s %9d %14.0f %14.0f %10.3f   (%.3f - %.3f)\n", c.label, c.messages, Median(library_rates),
                Median(raw_rates), Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
  }
  return 0;
}
