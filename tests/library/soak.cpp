// The soak: a long run of mixed messages (every export, strings of every size
// class, sequence numbers in the integer fields) through the library into the
// test server, each checked byte for byte in order as it arrives.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "VesprineDovetide.h"
#include "messages.h"
#include "test_server.h"

namespace {

struct StringArgument {
  bool null;
  std::string value;
  std::string sent;  // what the message carries

  const char* get() const { return null ? nullptr : value.c_str(); }
};

// The i-th string for a field of `bound` bytes: empty, short with bytes above
// 127, the longest that fits, one byte too long, or NULL.
StringArgument Pick(uint32_t i, size_t bound) {
  const char fill = static_cast<char>('a' + i % 26);
  switch (i / 29 % 5) {
    case 0:
      return {false, "", ""};
    case 1: {
      const std::string s = "#" + std::to_string(i) + " \xE2\x9C\x93";
      return {false, s, s};
    }
    case 2:
      return {false, std::string(bound - 1, fill), std::string(bound - 1, fill)};
    case 3:
      return {false, std::string(bound, fill), ""};
    default:
      return {true, "", ""};
  }
}

// The i-th call of the soak and the message it must send.
Golden SoakCall(uint32_t i) {
  const auto n = static_cast<int32_t>(i);
  const int32_t m = -n, k = n ^ 0x5A5A5A5A, p = n + 1, q = n + 2;
  switch (i % 29) {
    case 0:
      return {"SetColor", [=] { return SetColor(n, m, k, p); },
              ShortMessage(5, {{at::color1, n}, {at::color2, m}, {at::color3, k}, {at::alpha, p}})};
    case 1:
      return {"DrawPixel", [=] { return DrawPixel(n, m); }, ShortMessage(1, {{at::x, n}, {at::y, m}})};
    case 2:
      return {"DrawLine", [=] { return DrawLine(n, m, k, p); },
              ShortMessage(4, {{at::x, n}, {at::y, m}, {at::x2, k}, {at::y2, p}})};
    case 3:
      return {"DrawRect", [=] { return DrawRect(n, m, k, p, q); },
              ShortMessage(2, {{at::x, n}, {at::y, m}, {at::width, k}, {at::height, p}, {at::shapeParam, q}})};
    case 4:
      return {"DrawEllipse", [=] { return DrawEllipse(n, m, k, p, q); },
              ShortMessage(29, {{at::x, n}, {at::y, m}, {at::width, k}, {at::height, p}, {at::shapeParam, q}})};
    case 5: {
      const StringArgument s = Pick(i, 4096);
      return {"DrawString", [=] { return DrawString(n, m, s.get(), k); },
              TextMessage(3, s.sent, {{at::x, n}, {at::y, m}, {at::textParam, k}})};
    }
    case 6: {
      const StringArgument s = Pick(i, 4096);
      return {"DrawImage", [=] { return DrawImage(s.get(), n, m); }, TextMessage(7, s.sent, {{at::x, n}, {at::y, m}})};
    }
    case 7: {
      const StringArgument s = Pick(i, 4096);
      return {"DrawImageScaled", [=] { return DrawImageScaled(s.get(), n, m, k, p, q); },
              TextMessage(8, s.sent, {{at::x, n}, {at::y, m}, {at::width, k}, {at::height, p}, {at::alpha, q}})};
    }
    case 8:
      return {"DrawClear", [] { return DrawClear(); }, ShortMessage(9)};
    case 9: {
      const StringArgument s = Pick(i, 128);
      return {"CreateSprite", [=] { return CreateSprite(s.get(), n, m); },
              NameMessage(10, s.sent, {{at::width, n}, {at::height, m}})};
    }
    case 10: {
      const StringArgument s = Pick(i, 128);
      return {"DisposeSprite", [=] { return DisposeSprite(s.get()); }, NameMessage(11, s.sent)};
    }
    case 11:
      return {"DisposeCurrentSprite", [] { return DisposeCurrentSprite(); }, ShortMessage(12)};
    case 12:
      return {"DisposeAllSprites", [] { return DisposeAllSprites(); }, ShortMessage(13)};
    case 13: {
      const StringArgument s = Pick(i, 128);
      return {"SetEditSprite", [=] { return SetEditSprite(s.get()); }, NameMessage(14, s.sent)};
    }
    case 14:
      return {"SetBound", [=] { return SetBound(n, m); }, ShortMessage(15, {{at::x, n}, {at::y, m}})};
    case 15:
      return {"SetZ", [=] { return SetZ(n); }, ShortMessage(16, {{at::x, n}})};
    case 16:
      return {"SetVisible", [=] { return SetVisible(m); }, ShortMessage(17, {{at::x, m}})};
    case 17:
      return {"SetAlpha", [=] { return SetAlpha(n); }, ShortMessage(18, {{at::alpha, n}})};
    case 18:
      return {"SetOPoint", [=] { return SetOPoint(n, m); }, ShortMessage(19, {{at::x, n}, {at::y, m}})};
    case 19:
      return {"SetResolution", [=] { return SetResolution(n, m); },
              ShortMessage(26, {{at::width, n}, {at::height, m}})};
    case 20: {
      const StringArgument s = Pick(i, 128);
      return {"SetBackground", [=] { return SetBackground(s.get(), n); }, TextMessage(27, s.sent, {{at::alpha, n}})};
    }
    case 21:
      return {"SetEncodingUTF8", [] { return SetEncodingUTF8(); }, ShortMessage(28, {{at::x, 0}})};
    case 22:
      return {"SetEncodingShiftJIS", [] { return SetEncodingShiftJIS(); }, ShortMessage(28, {{at::x, 1}})};
    default: {
      using Log = int32_t (*)(const char*);
      static const Log logs[] = {LogV, LogD, LogI, LogW, LogE, LogC};
      const uint32_t severity = i % 29 - 23;
      const StringArgument s = Pick(i, 65536);
      return {"Log", [=] { return logs[severity](s.get()); },
              LogMessage(static_cast<int32_t>(20 + severity), s.sent)};
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t total = 1000000;
  if (argc == 3 && std::strcmp(argv[1], "--messages") == 0) total = static_cast<uint32_t>(std::atol(argv[2]));

  TestServer server;
  std::atomic<uint32_t> checked{0};  // never more than have been sent
  std::atomic<uint32_t> lost{0};
  uint32_t altered = 0;
  std::thread checker([&] {
    for (uint32_t i = 0; i < total; ++i, ++checked) {
      const auto message = server.Next(std::chrono::seconds(60));
      if (!message) {
        lost = total - i;
        break;
      }
      if (!SameMessage(*message, SoakCall(i).expected)) {
        if (++altered <= 5) std::printf("message %u (%s) differs from what was sent\n", i, SoakCall(i).what.c_str());
      }
    }
  });

  uint32_t failed = 0;
  const auto start = std::chrono::steady_clock::now();
  for (uint32_t i = 0; i < total; ++i) {
    if (SoakCall(i).call() != 1) ++failed;
    // Keep the checker within reach, so the queue stays small.
    while (i + 1 - checked > 20000 && lost == 0) std::this_thread::yield();
  }
  checker.join();
  uint32_t extra = 0;
  while (server.Next(std::chrono::milliseconds(200))) ++extra;
  Dispose();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::printf("soak: %u messages in %.1f s; calls that failed %u, lost %u, extra or duplicated %u, "
              "out of order or altered %u\n",
              total, seconds, failed, lost.load(), extra, altered);
  return failed == 0 && lost == 0 && extra == 0 && altered == 0 ? 0 : 1;
}
