#include "messages.h"

#include <climits>
#include <cstring>

#include "VesprineDovetide.h"

namespace {

// Stores `value` little-endian at `offset` in the message.
void Put(Bytes& message, size_t offset, int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  for (size_t i = 0; i < 4; ++i) message[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

Bytes Record(size_t size, int32_t code, Fields fields) {
  Bytes message(4 + size, 0);
  Put(message, 0, code);
  Put(message, 4, code);
  for (const auto& [offset, value] : fields) Put(message, 4 + offset, value);
  return message;
}

Bytes StringMessage(int32_t code, size_t field, size_t length_field, const std::string& s, Fields fields) {
  Bytes message = Record(4292, code, fields);
  std::memcpy(message.data() + 4 + field, s.data(), s.size());
  Put(message, 4 + length_field, static_cast<int32_t>(s.size()));
  return message;
}

}  // namespace

Bytes ShortMessage(int32_t code, Fields fields) { return Record(60, code, fields); }

Bytes NameMessage(int32_t code, const std::string& name, Fields fields) {
  return StringMessage(code, 60, 188, name, fields);
}

Bytes TextMessage(int32_t code, const std::string& text, Fields fields) {
  return StringMessage(code, 192, 4288, text, fields);
}

Bytes LogMessage(int32_t code, const std::string& text) {
  Bytes message(4 + text.size() + 1, 0);
  Put(message, 0, code);
  std::memcpy(message.data() + 4, text.data(), text.size());
  return message;
}

testing::AssertionResult SameMessage(const Bytes& actual, const Bytes& expected) {
  if (actual.size() != expected.size()) {
    return testing::AssertionFailure() << "message of " << actual.size() << " bytes, expected " << expected.size();
  }
  for (size_t i = 0; i < actual.size(); ++i) {
    if (actual[i] != expected[i]) {
      return testing::AssertionFailure() << "byte " << i << " is " << int{actual[i]} << ", expected "
                                         << int{expected[i]};
    }
  }
  return testing::AssertionSuccess();
}

const std::vector<Golden>& EveryCommand() {
  static const std::vector<Golden> cases = {
      {"SetColor", [] { return SetColor(10, 20, 30, 40); },
       ShortMessage(5, {{at::color1, 10}, {at::color2, 20}, {at::color3, 30}, {at::alpha, 40}})},
      {"DrawPixel", [] { return DrawPixel(10, 20); }, ShortMessage(1, {{at::x, 10}, {at::y, 20}})},
      {"DrawLine", [] { return DrawLine(1, 2, 3, 4); },
       ShortMessage(4, {{at::x, 1}, {at::y, 2}, {at::x2, 3}, {at::y2, 4}})},
      {"DrawRect", [] { return DrawRect(1, 2, 3, 4, 5); },
       ShortMessage(2, {{at::x, 1}, {at::y, 2}, {at::width, 3}, {at::height, 4}, {at::shapeParam, 5}})},
      {"DrawEllipse", [] { return DrawEllipse(1, 2, 3, 4, 5); },
       ShortMessage(29, {{at::x, 1}, {at::y, 2}, {at::width, 3}, {at::height, 4}, {at::shapeParam, 5}})},
      {"DrawString", [] { return DrawString(5, 6, "abc", 7); },
       TextMessage(3, "abc", {{at::x, 5}, {at::y, 6}, {at::textParam, 7}})},
      {"DrawImage", [] { return DrawImage("img/a.png", -1, -2); },
       TextMessage(7, "img/a.png", {{at::x, -1}, {at::y, -2}})},
      {"DrawImageScaled", [] { return DrawImageScaled("b.bmp", 1, 2, 3, 4, 128); },
       TextMessage(8, "b.bmp", {{at::x, 1}, {at::y, 2}, {at::width, 3}, {at::height, 4}, {at::alpha, 128}})},
      {"DrawClear", [] { return DrawClear(); }, ShortMessage(9)},
      {"CreateSprite", [] { return CreateSprite("hero", 32, 48); },
       NameMessage(10, "hero", {{at::width, 32}, {at::height, 48}})},
      {"DisposeSprite", [] { return DisposeSprite("hero"); }, NameMessage(11, "hero")},
      {"DisposeCurrentSprite", [] { return DisposeCurrentSprite(); }, ShortMessage(12)},
      {"DisposeAllSprites", [] { return DisposeAllSprites(); }, ShortMessage(13)},
      {"SetEditSprite", [] { return SetEditSprite("hero"); }, NameMessage(14, "hero")},
      {"SetBound", [] { return SetBound(3, 4); }, ShortMessage(15, {{at::x, 3}, {at::y, 4}})},
      {"SetZ", [] { return SetZ(7); }, ShortMessage(16, {{at::x, 7}})},
      {"SetVisible", [] { return SetVisible(7); }, ShortMessage(17, {{at::x, 7}})},
      {"SetAlpha", [] { return SetAlpha(200); }, ShortMessage(18, {{at::alpha, 200}})},
      {"SetOPoint", [] { return SetOPoint(5, 6); }, ShortMessage(19, {{at::x, 5}, {at::y, 6}})},
      {"SetResolution", [] { return SetResolution(640, 480); },
       ShortMessage(26, {{at::width, 640}, {at::height, 480}})},
      {"SetBackground", [] { return SetBackground("bg.png", 99); }, TextMessage(27, "bg.png", {{at::alpha, 99}})},
      {"SetEncodingUTF8", [] { return SetEncodingUTF8(); }, ShortMessage(28, {{at::x, 0}})},
      {"SetEncodingShiftJIS", [] { return SetEncodingShiftJIS(); }, ShortMessage(28, {{at::x, 1}})},
      {"LogV", [] { return LogV("verbose"); }, LogMessage(20, "verbose")},
      {"LogD", [] { return LogD("debug"); }, LogMessage(21, "debug")},
      {"LogI", [] { return LogI("info"); }, LogMessage(22, "info")},
      {"LogW", [] { return LogW("warning"); }, LogMessage(23, "warning")},
      {"LogE", [] { return LogE("error"); }, LogMessage(24, "error")},
      {"LogC", [] { return LogC("critical"); }, LogMessage(25, "critical")},
  };
  return cases;
}

void DirtyStack() {
  volatile char junk[96 * 1024];
  for (size_t i = 0; i < sizeof(junk); ++i) junk[i] = static_cast<char>(0xA5);
}
