// The monitor's decoder: every code to its fields, and every kind of
// malformed message to its reason.
#include <atomic>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "input/decode.h"
#include "messages.h"

namespace {

std::string Line(const Bytes& message, Encoding encoding = Encoding::kUtf8) {
  return FormatLine(1, Decode(message.data(), message.size()), message.size(), encoding);
}

std::string Json(const Bytes& message, Encoding encoding = Encoding::kUtf8) {
  return FormatJson(3, Decode(message.data(), message.size()), message.size(), encoding);
}

Bytes With(Bytes message, size_t offset, std::initializer_list<uint8_t> bytes) {
  std::memcpy(message.data() + offset, bytes.begin(), bytes.size());
  return message;
}

TEST(Decode, EveryCodeToItsFields) {
  const std::pair<Bytes, std::string> cases[] = {
      {ShortMessage(1, {{at::x, 10}, {at::y, 20}}), "#1 DrawPixel x=10 y=20"},
      {ShortMessage(2, {{at::x, 1}, {at::y, 2}, {at::width, 3}, {at::height, 4}, {at::shapeParam, 5}}),
       "#1 DrawRect x=1 y=2 width=3 height=4 shapeParam=5"},
      {TextMessage(3, "abc", {{at::x, 5}, {at::y, 6}, {at::textParam, 7}}),
       "#1 DrawString x=5 y=6 textParam=7 text=\"abc\""},
      {ShortMessage(4, {{at::x, 1}, {at::y, 2}, {at::x2, 3}, {at::y2, 4}}), "#1 DrawLine x=1 y=2 x2=3 y2=4"},
      {ShortMessage(5, {{at::color1, 1}, {at::color2, 2}, {at::color3, 3}, {at::alpha, 4}}),
       "#1 SetColor color1=1 color2=2 color3=3 alpha=4"},
      {TextMessage(7, "a.png", {{at::x, -1}, {at::y, INT_MIN}}), "#1 DrawImage x=-1 y=-2147483648 text=\"a.png\""},
      {TextMessage(8, "b", {{at::x, 1}, {at::y, 2}, {at::width, 3}, {at::height, 4}, {at::alpha, 5}}),
       "#1 DrawImageScaled x=1 y=2 width=3 height=4 alpha=5 text=\"b\""},
      {ShortMessage(9), "#1 DrawClear"},
      {NameMessage(10, "hero", {{at::width, 32}, {at::height, 48}}), "#1 CreateSprite width=32 height=48 name=\"hero\""},
      {NameMessage(11, "hero"), "#1 DisposeSprite name=\"hero\""},
      {ShortMessage(12), "#1 DisposeCurrentSprite"},
      {ShortMessage(13), "#1 DisposeAllSprites"},
      {NameMessage(14, ""), "#1 SetEditSprite name=\"\""},
      {ShortMessage(15, {{at::x, 3}, {at::y, 4}}), "#1 SetBound x=3 y=4"},
      {ShortMessage(16, {{at::x, 7}}), "#1 SetZ x=7"},
      {ShortMessage(17, {{at::x, INT_MAX}}), "#1 SetVisible x=2147483647"},
      {ShortMessage(18, {{at::alpha, 200}}), "#1 SetAlpha alpha=200"},
      {ShortMessage(19, {{at::x, 5}, {at::y, 6}}), "#1 SetOPoint x=5 y=6"},
      {LogMessage(20, "v"), "#1 LogV \"v\""},
      {LogMessage(21, "d"), "#1 LogD \"d\""},
      {LogMessage(22, "i"), "#1 LogI \"i\""},
      {LogMessage(23, "w"), "#1 LogW \"w\""},
      {LogMessage(24, ""), "#1 LogE \"\""},
      {LogMessage(25, "c"), "#1 LogC \"c\""},
      {ShortMessage(26, {{at::width, 640}, {at::height, 480}}), "#1 SetResolution width=640 height=480"},
      {TextMessage(27, "bg.png", {{at::alpha, 9}}), "#1 SetBackground alpha=9 text=\"bg.png\""},
      {ShortMessage(28, {{at::x, 0}}), "#1 SetEncodingUTF8 x=0"},
      {ShortMessage(28, {{at::x, 1}}), "#1 SetEncodingShiftJIS x=1"},
      {ShortMessage(29, {{at::x, 1}, {at::y, 2}, {at::width, 3}, {at::height, 4}, {at::shapeParam, 5}}),
       "#1 DrawEllipse x=1 y=2 width=3 height=4 shapeParam=5"},
  };
  for (const auto& [message, line] : cases) EXPECT_EQ(Line(message), line);
}

TEST(Decode, JsonCarriesTheSameFields) {
  EXPECT_EQ(Json(TextMessage(3, "a\"b\\c\n", {{at::x, 5}, {at::y, 6}, {at::textParam, 7}})),
            R"({"client":3,"code":3,"command":"DrawString","x":5,"y":6,"textParam":7,"text":"a\"b\\c\n"})");
  EXPECT_EQ(Json(LogMessage(24, "")), R"({"client":3,"code":24,"command":"LogE","text":""})");
  EXPECT_EQ(Json(ShortMessage(28, {{at::x, 1}})), R"({"client":3,"code":28,"command":"SetEncodingShiftJIS","x":1})");
  EXPECT_EQ(Json(ShortMessage(6)), R"({"client":3,"error":"unknown code 6","length":64})");
  EXPECT_EQ(Json(LogMessage(22, "\x01\xFF")), R"({"client":3,"code":22,"command":"LogI","text":"\u0001\\xFF"})");
  EXPECT_EQ(Json(LogMessage(22, "\x08\x0C\x1B\x7F")),
            "{\"client\":3,\"code\":22,\"command\":\"LogI\",\"text\":\"\\b\\f\\u001b\x7F\"}");
  // The bytes go inside the object, a short message's too.
  const std::string hex = "040000";
  EXPECT_EQ(FormatJson(3, Decode(nullptr, 0), 3, Encoding::kUtf8, &hex),
            R"({"client":3,"error":"shorter than the 4-byte code","length":3,"hex":"040000"})");
}

TEST(Decode, TextInTheAnnouncedEncoding) {
  const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e \xE4\xB8\x96";
  const std::string shift_jis = "\x83\x65\x83\x58\x83\x67";  // テスト
  EXPECT_EQ(Line(LogMessage(22, utf8)), "#1 LogI \"" + utf8 + "\"");
  EXPECT_EQ(Line(LogMessage(22, shift_jis), Encoding::kShiftJis), "#1 LogI \"\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\"");
  // Bytes that do not decode are escaped, one by one, never dropped.
  EXPECT_EQ(Line(LogMessage(22, shift_jis)), "#1 LogI \"\\x83e\\x83X\\x83g\"");
  EXPECT_EQ(Line(LogMessage(22, "a\xC3(\xED\xA0\x80\xF8z")), "#1 LogI \"a\\xC3(\\xED\\xA0\\x80\\xF8z\"");
  EXPECT_EQ(Line(LogMessage(22, "\x83"), Encoding::kShiftJis), "#1 LogI \"\\x83\"");
  EXPECT_EQ(Line(NameMessage(14, "tab\there")), "#1 SetEditSprite name=\"tab\\there\"");

  const Decoded utf8_encoding = Decode(ShortMessage(28, {{at::x, 0}}).data(), 64);
  const Decoded sjis_encoding = Decode(ShortMessage(28, {{at::x, 1}}).data(), 64);
  EXPECT_EQ(NextEncoding(sjis_encoding, Encoding::kUtf8), Encoding::kShiftJis);
  EXPECT_EQ(NextEncoding(utf8_encoding, Encoding::kShiftJis), Encoding::kUtf8);
  EXPECT_EQ(NextEncoding(Decode(ShortMessage(1).data(), 64), Encoding::kShiftJis), Encoding::kShiftJis);
}

// The pipe's thread and the thread that seeks decode Shift-JIS at the same
// time; each gets its own text.
TEST(Decode, ShiftJisOnTwoThreadsAtOnce) {
  const std::pair<std::string, std::string> texts[] = {
      {"\x83\x65\x83\x58\x83\x67", "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"},  // テスト
      {"\x82\xA0\x82\xA2\x82\xA4", "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86"},  // あいう
  };
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (const auto& [shift_jis, utf8] : texts) {
    threads.emplace_back([&wrong, shift_jis, utf8] {
      std::string bytes, expected;
      for (int i = 0; i < 100; ++i) bytes += shift_jis, expected += utf8;
      for (int i = 0; i < 500; ++i) wrong += ToText(bytes, Encoding::kShiftJis) != expected;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0) << "texts decoded wrong, of 1000";
}

TEST(Decode, MalformedMessagesAndTheirReasons) {
  const Bytes pixel = ShortMessage(1, {{at::x, 10}});
  const Bytes name = NameMessage(10, "hero");
  Bytes no_nul_name = name;
  std::memset(no_nul_name.data() + 64, 'n', 128);
  Bytes long_background = TextMessage(27, std::string(200, 'p'));
  Bytes too_long(65541, 'l');
  std::memcpy(too_long.data(), "\x16\0\0\0", 4);
  too_long.back() = 0;

  const std::pair<Bytes, std::string> cases[] = {
      {{}, "#1 malformed: shorter than the 4-byte code (0 bytes)"},
      {{1, 0, 0}, "#1 malformed: shorter than the 4-byte code (3 bytes)"},
      {ShortMessage(6), "#1 malformed: unknown code 6 (64 bytes)"},
      {ShortMessage(0), "#1 malformed: unknown code 0 (64 bytes)"},
      {ShortMessage(30), "#1 malformed: unknown code 30 (64 bytes)"},
      {ShortMessage(-1), "#1 malformed: unknown code -1 (64 bytes)"},
      {Bytes(pixel.begin(), pixel.end() - 1), "#1 malformed: DrawPixel needs 64 bytes (63 bytes)"},
      {ShortMessage(3), "#1 malformed: DrawString needs 4296 bytes (64 bytes)"},
      {Bytes(name.begin(), name.begin() + 64), "#1 malformed: CreateSprite needs 4296 bytes (64 bytes)"},
      {{24, 0, 0, 0}, "#1 malformed: LogE needs 5 to 65540 bytes (4 bytes)"},
      {too_long, "#1 malformed: LogI needs 5 to 65540 bytes (65541 bytes)"},
      {With(pixel, 4, {5}), "#1 malformed: record code 5 differs from code 1 (64 bytes)"},
      {no_nul_name, "#1 malformed: name has no NUL within its 128 bytes (4296 bytes)"},
      {long_background, "#1 malformed: text has no NUL within its 128 bytes (4296 bytes)"},
      {With(name, 192, {5}), "#1 malformed: nameLength 5 disagrees with the 4 bytes of name (4296 bytes)"},
      {With(name, 192, {0xFF, 0xFF, 0xFF, 0xFF}),
       "#1 malformed: nameLength -1 disagrees with the 4 bytes of name (4296 bytes)"},
      {With(TextMessage(3, "abc"), 4292, {2}),
       "#1 malformed: textLength 2 disagrees with the 3 bytes of text (4296 bytes)"},
      {With(LogMessage(20, "abc"), 7, {'d'}), "#1 malformed: text has no terminating NUL (8 bytes)"},
      {With(LogMessage(20, "abc"), 5, {0}), "#1 malformed: text has a NUL before its end (8 bytes)"},
      {ShortMessage(28, {{at::x, 2}}), "#1 malformed: unknown encoding x=2 (64 bytes)"},
  };
  for (const auto& [message, line] : cases) EXPECT_EQ(Line(message), line);
}

TEST(Decode, HexShowsEveryByte) {
  const Bytes message = LogMessage(24, "0123456789AB");
  EXPECT_EQ(FormatHex(message.data(), message.size()),
            "    0000  18 00 00 00 30 31 32 33 34 35 36 37 38 39 41 42\n"
            "    0010  00\n");
}

}  // namespace
