// Writes the fuzzers' seed corpora: for the decoder, one well-formed message
// per command; for the renderer, runs of messages in its short form that cost
// the most for what they change.
#include <climits>
#include <cstdio>
#include <string>

#include "messages.h"

namespace {

template <class Bytes>
void Write(const std::string& directory, const std::string& name, const Bytes& message) {
  if (FILE* file = std::fopen((directory + "/" + name).c_str(), "wb")) {
    std::fwrite(message.data(), 1, message.size(), file);
    std::fclose(file);
  }
}

// Steps in render_fuzzer's short form (fuzz/render_fuzzer.cpp says it): a
// message's code, then its integers and string as the command has them.
struct Steps {
  std::string bytes;
  Steps& Message(int32_t code) { return Byte(uint8_t(code)); }
  Steps& Compose() { return Byte(0xF0); }
  Steps& Byte(uint8_t b) {
    bytes += char(b);
    return *this;
  }
  Steps& Int(int32_t v) {
    if (v >= -64 && v < 0xE0 - 64) return Byte(uint8_t(v + 64));
    Byte(0xF8);
    for (int i = 0; i < 4; ++i) Byte(uint8_t(uint32_t(v) >> (8 * i)));
    return *this;
  }
  Steps& Text(const std::string& text) {
    Byte(uint8_t(text.size()));
    bytes += text;
    return *this;
  }
  Steps& Path(int index) { return Byte(uint8_t(0xF0 + index)); }  // 0: images/logo.png, 1: backgrounds/sky.png
  Steps& Longest(const std::string& pattern) {
    Byte(0xF8).Byte(uint8_t(pattern.size() - 1));
    bytes += pattern;
    return *this;
  }
};

enum Code : int32_t { kPixel = 1, kRect = 2, kString = 3, kLine = 4, kColor = 5, kImage = 7, kScaled = 8,
                      kCreate = 10, kEdit = 14, kBound = 15, kZ = 16, kOPoint = 19, kLog = 22,
                      kResolution = 26, kBackground = 27, kEllipse = 29 };

void WriteRenderSeeds(const std::string& dir) {
  Steps far, along, big;
  far.Message(kResolution).Int(8192).Int(8192);
  far.Message(kString).Int(INT_MAX).Int(0).Int(1024).Longest("The quick brown fox jumps over the lazy dog. AV Wa \xE4\xB8\x96");
  far.Message(kString).Int(0).Int(INT_MIN).Int(1024).Longest("Ag\xFF").Compose();
  Write(dir, "text-far", far.bytes);
  along.Message(kString).Int(0).Int(100).Int(20).Longest("The quick brown fox ").Compose();
  Write(dir, "text-along", along.bytes);
  big.Message(kString).Int(-300).Int(-500).Int(1024).Text("AV").Compose();
  Write(dir, "text-big", big.bytes);

  Steps shapes;
  shapes.Message(kColor).Int(200).Int(100).Int(50).Int(180);
  for (const int filled : {0, 1}) {
    shapes.Message(kEllipse).Int(320 - 1073741823).Int(240 - 1073741823).Int(INT_MAX).Int(INT_MAX).Int(filled);
    shapes.Message(kEllipse).Int(320 - 1073741823).Int(240 - INT_MAX).Int(INT_MAX).Int(INT_MAX).Int(filled);
    shapes.Message(kRect).Int(-10).Int(-10).Int(INT_MAX).Int(INT_MAX).Int(filled);
  }
  shapes.Message(kLine).Int(INT_MIN).Int(INT_MIN + 40).Int(INT_MAX - 40).Int(INT_MAX);
  shapes.Message(kLine).Int(INT_MIN).Int(INT_MAX).Int(INT_MAX).Int(INT_MIN + 40000);
  shapes.Message(kPixel).Int(3).Int(4).Compose();
  Write(dir, "shapes", shapes.bytes);

  Steps sprites;
  sprites.Message(kResolution).Int(2048).Int(2048);
  sprites.Message(kCreate).Int(8192).Int(8192).Text("big").Message(kEdit).Text("big");
  sprites.Message(kColor).Int(10).Int(200).Int(90).Int(128).Message(kRect).Int(0).Int(0).Int(2048).Int(2048).Int(1);
  for (int i = 0; i < 4; ++i) sprites.Message(kBound).Int(i).Int(i).Message(kOPoint).Int(-i).Int(i).Compose();
  for (int i = 0; i < 100; ++i) {
    const std::string name = "s" + std::to_string(i);
    sprites.Message(kCreate).Int(16).Int(16).Text(name).Message(kEdit).Text(name);
    sprites.Message(kRect).Int(0).Int(0).Int(16).Int(16).Int(1).Message(kBound).Int(i * 20).Int(i * 13);
    sprites.Message(kZ).Int(i % 7);
  }
  sprites.Compose();
  Write(dir, "sprites", sprites.bytes);

  Steps images;
  images.Message(kScaled).Int(-8000).Int(-8000).Int(8192).Int(8192).Int(255).Path(0);
  images.Message(kImage).Int(600).Int(400).Path(1).Message(kImage).Int(5).Int(5).Path(2);
  images.Message(kBackground).Int(200).Path(1).Message(kLog).Text("a line").Compose();
  images.Byte(0xF4).Int(20).Int(30).Message(kPixel).Int(20).Int(30).Message(kString).Int(0).Int(10).Int(40).Text("Hi");
  images.Byte(0xF1).Byte(1).Byte(30 + kRect).Int(0).Int(0).Int(50).Int(50).Int(1).Byte(0xF2).Byte(1).Compose();
  Write(dir, "images", images.bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fputs("usage: make_seeds DIRECTORY [RENDER_DIRECTORY]\n", stderr);
    return 2;
  }
  if (argc == 3) WriteRenderSeeds(argv[2]);
  const std::string dir = argv[1];
  for (const int32_t code : {1, 2, 4, 5, 9, 12, 13, 15, 16, 17, 18, 19, 26, 29}) {
    Write(dir, "short-" + std::to_string(code), ShortMessage(code, {{at::x, 1}, {at::y, 2}, {at::alpha, 3}}));
  }
  for (const int32_t code : {3, 7, 8, 27}) Write(dir, "text-" + std::to_string(code), TextMessage(code, "a/b.png"));
  for (const int32_t code : {10, 11, 14}) Write(dir, "name-" + std::to_string(code), NameMessage(code, "hero"));
  for (int32_t code = 20; code <= 25; ++code) Write(dir, "log-" + std::to_string(code), LogMessage(code, "caf\xC3\xA9"));
  Write(dir, "utf8", ShortMessage(28, {{at::x, 0}}));
  Write(dir, "shift-jis", ShortMessage(28, {{at::x, 1}}));
  return 0;
}
