// Writes the long sessions the display host's benchmarks replay, in the
// monitor's --record format, each of one client sending N messages (default
// 1,000,000) at 60 messages a frame, 60 frames a second:
//   FOLDER/demo-mix.session  the messages of a recorded session (the demo's),
//                            over and over
//   FOLDER/pixels.session    pixels on a screen never cleared, a colour every 64
//   FOLDER/noise.session     pixels at random places in random colours: a picture
//                            that deflates badly
//   make_sessions RECORDED_SESSION FOLDER [--messages N]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "input/session.h"
#include "protocol/protocol.h"

namespace {

constexpr int64_t kStart = 1'800'000'000'000'000;  // microseconds since the epoch
constexpr int64_t kPerFrame = 60;                  // messages a frame
constexpr int64_t kFrameUs = 1'000'000 / 60;

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "make_sessions: %s\n", why.c_str());
  std::exit(1);
}

std::vector<uint8_t> Short(CommandCode code, int32_t x, int32_t y, int32_t c1 = 0, int32_t c2 = 0, int32_t c3 = 0) {
  RecordMessage message;
  StartShortRecord(message, code);
  message.record.x = x;
  message.record.y = y;
  message.record.color1 = c1;
  message.record.color2 = c2;
  message.record.color3 = c3;
  message.record.alpha = 255;
  const auto* bytes = reinterpret_cast<const uint8_t*>(&message);
  return std::vector<uint8_t>(bytes, bytes + kPrefixSize + kShortRecordSize);
}

// Writes `n` messages, message i made by `make(i)`, from client 1.
template <class Make>
void Write(const std::string& path, long n, const Make& make) {
  SessionWriter writer;
  std::string error;
  if (!writer.Open(path, error)) Fail(error);
  const auto time = [](long i) { return kStart + i / kPerFrame * kFrameUs; };
  writer.Add(SessionEntry::kJoined, 1, time(0), nullptr, 0, 0);
  for (long i = 0; i < n; ++i) {
    const std::vector<uint8_t>& bytes = make(i);
    writer.Add(SessionEntry::kMessage, 1, time(i), bytes.data(), bytes.size(), bytes.size());
  }
  writer.Add(SessionEntry::kLeft, 1, time(n), nullptr, 0, 0);
  writer.Flush();
  error = writer.TakeError();
  if (!error.empty()) Fail(error);
  std::printf("wrote %ld messages to %s\n", n, path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) Fail("usage: make_sessions RECORDED_SESSION FOLDER [--messages N]");
  long n = 1000000;
  for (int i = 3; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--messages") == 0) n = std::atol(argv[i + 1]);
  }
  std::ifstream in(argv[1], std::ios::binary);
  SessionReader reader(in);
  std::string error;
  if (!reader.Start(error)) Fail(std::string(argv[1]) + ": " + error);
  std::vector<std::vector<uint8_t>> recorded;
  for (SessionEntry entry; reader.Next(entry, error);) {
    if (entry.kind == SessionEntry::kMessage) recorded.push_back(entry.bytes);
  }
  if (!error.empty() || recorded.empty()) Fail(std::string(argv[1]) + ": no messages " + error);
  const std::string folder = argv[2];
  Write(folder + "/demo-mix.session", n, [&](long i) -> const std::vector<uint8_t>& {
    return recorded[size_t(i) % recorded.size()];
  });
  std::vector<uint8_t> pixel;
  Write(folder + "/pixels.session", n, [&](long i) -> const std::vector<uint8_t>& {
    if (i % 64 == 0) {
      pixel = Short(CommandCode::SetColor, 0, 0, int32_t(i % 256), 128, int32_t(255 - i % 256));
    } else {
      pixel = Short(CommandCode::DrawPixel, int32_t(i % 640), int32_t(i / 640 % 480));
    }
    return pixel;
  });
  std::mt19937 random(1);
  Write(folder + "/noise.session", n, [&](long i) -> const std::vector<uint8_t>& {
    const auto any = [&](uint32_t below) { return int32_t(random() % below); };
    if (i % 2 == 0) {
      pixel = Short(CommandCode::SetColor, 0, 0, any(256), any(256), any(256));
    } else {
      pixel = Short(CommandCode::DrawPixel, any(640), any(480));
    }
    return pixel;
  });
  return 0;
}
