// Every export against a real server: the whole message, byte for byte.
#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "VesprineDovetide.h"
#include "messages.h"
#include "test_server.h"

namespace {

class Commands : public testing::Test {
 protected:
  void SetUp() override { Dispose(); }
  void TearDown() override { Dispose(); }

  // Makes the call, which must succeed, and checks the one message it sends.
  void ExpectMessage(const std::function<int32_t()>& call, const Bytes& expected) {
    DirtyStack();
    EXPECT_EQ(call(), 1);
    const auto message = server.Next();
    ASSERT_TRUE(message) << "no message arrived";
    EXPECT_TRUE(SameMessage(*message, expected));
  }

  TestServer server;
};

const std::string kHighBytes = "caf\xC3\xA9 \x82\xA0\xFF\x80";

TEST_F(Commands, EveryCommandSendsItsMessage) {
  for (const Golden& golden : EveryCommand()) {
    SCOPED_TRACE(golden.what);
    ExpectMessage(golden.call, golden.expected);
  }
}

TEST_F(Commands, EqualCallsSendEqualMessages) {
  for (const Golden& golden : EveryCommand()) {
    SCOPED_TRACE(golden.what);
    // A long string first leaves its bytes in whatever memory the library reuses.
    ExpectMessage([] { return DrawString(0, 0, std::string(4000, 'x').c_str(), 0); },
                  TextMessage(3, std::string(4000, 'x')));
    ExpectMessage(golden.call, golden.expected);
  }
}

TEST_F(Commands, DrawingIntegersPassUnchanged) {
  ExpectMessage([] { return DrawPixel(INT_MIN, INT_MAX); }, ShortMessage(1, {{at::x, INT_MIN}, {at::y, INT_MAX}}));
  ExpectMessage([] { return SetColor(-1, 256, INT_MAX, INT_MIN); },
                ShortMessage(5, {{at::color1, -1}, {at::color2, 256}, {at::color3, INT_MAX}, {at::alpha, INT_MIN}}));
  ExpectMessage([] { return DrawRect(0, 0, -5, 0, INT_MIN); },
                ShortMessage(2, {{at::width, -5}, {at::shapeParam, INT_MIN}}));
  ExpectMessage([] { return DrawLine(INT_MAX, INT_MIN, -1, -2); },
                ShortMessage(4, {{at::x, INT_MAX}, {at::y, INT_MIN}, {at::x2, -1}, {at::y2, -2}}));
  ExpectMessage([] { return DrawString(-1, -2, "", INT_MIN); },
                TextMessage(3, "", {{at::x, -1}, {at::y, -2}, {at::textParam, INT_MIN}}));
}

TEST_F(Commands, DrawingTextsAndPathsUpTo4095Bytes) {
  const std::string fits(4095, 't');
  const std::string too_long(4096, 't');
  ExpectMessage([&] { return DrawString(1, 2, fits.c_str(), 3); },
                TextMessage(3, fits, {{at::x, 1}, {at::y, 2}, {at::textParam, 3}}));
  ExpectMessage([&] { return DrawString(1, 2, too_long.c_str(), 3); },
                TextMessage(3, "", {{at::x, 1}, {at::y, 2}, {at::textParam, 3}}));
  ExpectMessage([] { return DrawString(1, 2, nullptr, 3); },
                TextMessage(3, "", {{at::x, 1}, {at::y, 2}, {at::textParam, 3}}));
  ExpectMessage([&] { return DrawString(0, 0, kHighBytes.c_str(), 0); }, TextMessage(3, kHighBytes));

  ExpectMessage([&] { return DrawImage(fits.c_str(), 4, 5); }, TextMessage(7, fits, {{at::x, 4}, {at::y, 5}}));
  ExpectMessage([&] { return DrawImage(too_long.c_str(), 4, 5); }, TextMessage(7, "", {{at::x, 4}, {at::y, 5}}));
  ExpectMessage([] { return DrawImage(nullptr, 4, 5); }, TextMessage(7, "", {{at::x, 4}, {at::y, 5}}));

  const Fields scaled = {{at::x, 1}, {at::y, 2}, {at::width, 3}, {at::height, 4}, {at::alpha, 5}};
  ExpectMessage([&] { return DrawImageScaled(fits.c_str(), 1, 2, 3, 4, 5); }, TextMessage(8, fits, scaled));
  ExpectMessage([&] { return DrawImageScaled(too_long.c_str(), 1, 2, 3, 4, 5); }, TextMessage(8, "", scaled));
  ExpectMessage([] { return DrawImageScaled(nullptr, 1, 2, 3, 4, 5); }, TextMessage(8, "", scaled));
}

}  // namespace

namespace {

TEST_F(Commands, SpriteNamesUpTo127Bytes) {
  const std::string fits(127, 'n');
  const std::string too_long(128, 'n');
  ExpectMessage([&] { return CreateSprite(fits.c_str(), 1, 2); },
                NameMessage(10, fits, {{at::width, 1}, {at::height, 2}}));
  ExpectMessage([&] { return CreateSprite(too_long.c_str(), 1, 2); },
                NameMessage(10, "", {{at::width, 1}, {at::height, 2}}));
  ExpectMessage([] { return CreateSprite(nullptr, INT_MIN, INT_MAX); },
                NameMessage(10, "", {{at::width, INT_MIN}, {at::height, INT_MAX}}));
  ExpectMessage([&] { return CreateSprite(kHighBytes.c_str(), 0, 0); }, NameMessage(10, kHighBytes));
  for (const auto send : {DisposeSprite, SetEditSprite}) {
    const int32_t code = send == DisposeSprite ? 11 : 14;
    ExpectMessage([&] { return send(fits.c_str()); }, NameMessage(code, fits));
    ExpectMessage([&] { return send(too_long.c_str()); }, NameMessage(code, ""));
    ExpectMessage([&] { return send(nullptr); }, NameMessage(code, ""));
    ExpectMessage([&] { return send(""); }, NameMessage(code, ""));
  }
}

TEST_F(Commands, SpriteIntegersPassUnchanged) {
  ExpectMessage([] { return SetBound(INT_MIN, INT_MAX); }, ShortMessage(15, {{at::x, INT_MIN}, {at::y, INT_MAX}}));
  ExpectMessage([] { return SetOPoint(INT_MAX, INT_MIN); }, ShortMessage(19, {{at::x, INT_MAX}, {at::y, INT_MIN}}));
  ExpectMessage([] { return SetZ(INT_MIN); }, ShortMessage(16, {{at::x, INT_MIN}}));
  ExpectMessage([] { return SetVisible(-1); }, ShortMessage(17, {{at::x, -1}}));
  ExpectMessage([] { return SetAlpha(INT_MAX); }, ShortMessage(18, {{at::alpha, INT_MAX}}));
}

}  // namespace

namespace {

TEST_F(Commands, BackgroundPathsUpTo127Bytes) {
  const std::string fits(127, 'p');
  ExpectMessage([&] { return SetBackground(fits.c_str(), 1); }, TextMessage(27, fits, {{at::alpha, 1}}));
  ExpectMessage([] { return SetBackground(std::string(128, 'p').c_str(), 1); }, TextMessage(27, "", {{at::alpha, 1}}));
  // A path that DrawImage would carry whole is too long for the background.
  const std::string path(200, 'p');
  ExpectMessage([&] { return SetBackground(path.c_str(), INT_MIN); }, TextMessage(27, "", {{at::alpha, INT_MIN}}));
  ExpectMessage([&] { return DrawImage(path.c_str(), 0, 0); }, TextMessage(7, path));
  ExpectMessage([] { return SetBackground(nullptr, 2); }, TextMessage(27, "", {{at::alpha, 2}}));
  ExpectMessage([&] { return SetBackground(kHighBytes.c_str(), 0); }, TextMessage(27, kHighBytes));
}

TEST_F(Commands, ResolutionIntegersPassUnchanged) {
  ExpectMessage([] { return SetResolution(INT_MIN, INT_MAX); },
                ShortMessage(26, {{at::width, INT_MIN}, {at::height, INT_MAX}}));
  ExpectMessage([] { return SetResolution(0, -1); }, ShortMessage(26, {{at::height, -1}}));
}

}  // namespace

namespace {

TEST_F(Commands, LogLinesUpTo65535Bytes) {
  const std::string fits(65535, 'l');
  const std::string too_long(65536, 'l');
  using Log = int32_t (*)(const char*);
  const std::pair<Log, int32_t> severities[] = {{LogV, 20}, {LogD, 21}, {LogI, 22}, {LogW, 23}, {LogE, 24}, {LogC, 25}};
  for (const auto& [log, code] : severities) {
    SCOPED_TRACE(code);
    ExpectMessage([&] { return log(fits.c_str()); }, LogMessage(code, fits));
    ExpectMessage([&] { return log(too_long.c_str()); }, LogMessage(code, ""));
    ExpectMessage([&] { return log(nullptr); }, LogMessage(code, ""));
    ExpectMessage([&] { return log(""); }, LogMessage(code, ""));
    ExpectMessage([&] { return log(kHighBytes.c_str()); }, LogMessage(code, kHighBytes));
  }
  // A text of the size of a full record, either side of the stack buffer on Windows.
  for (const size_t size : {4291u, 4292u, 4293u}) {
    ExpectMessage([&] { return LogI(std::string(size, 'm').c_str()); }, LogMessage(22, std::string(size, 'm')));
  }
}

}  // namespace

namespace {

// A string that fills its whole bound with no NUL is too long: it is sent
// empty, and not one byte past the bound is read.
TEST_F(Commands, StringsAreReadOnlyWithinTheirBound) {
  const char* name = GuardedString(128);
  const char* text = GuardedString(4096);
  const char* background = GuardedString(128);
  const char* line = GuardedString(65536);
  ExpectMessage([&] { return CreateSprite(name, 1, 2); }, NameMessage(10, "", {{at::width, 1}, {at::height, 2}}));
  ExpectMessage([&] { return DisposeSprite(name); }, NameMessage(11, ""));
  ExpectMessage([&] { return SetEditSprite(name); }, NameMessage(14, ""));
  ExpectMessage([&] { return DrawString(1, 2, text, 3); },
                TextMessage(3, "", {{at::x, 1}, {at::y, 2}, {at::textParam, 3}}));
  ExpectMessage([&] { return DrawImage(text, 1, 2); }, TextMessage(7, "", {{at::x, 1}, {at::y, 2}}));
  ExpectMessage([&] { return DrawImageScaled(text, 0, 0, 0, 0, 9); }, TextMessage(8, "", {{at::alpha, 9}}));
  ExpectMessage([&] { return SetBackground(background, 4); }, TextMessage(27, "", {{at::alpha, 4}}));
  ExpectMessage([&] { return LogW(line); }, LogMessage(23, ""));
  // One byte shorter with its NUL still fits, right at the guard.
  char* fits = const_cast<char*>(GuardedString(128));
  fits[127] = '\0';
  ExpectMessage([&] { return SetEditSprite(fits); }, NameMessage(14, std::string(127, 'g')));
  // Short strings that end at the guard, starting at every alignment.
  for (size_t size = 1; size <= 40; ++size) {
    char* end = const_cast<char*>(GuardedString(size));
    end[size - 1] = '\0';
    ExpectMessage([&] { return LogD(end); }, LogMessage(21, std::string(size - 1, 'g')));
    ExpectMessage([&] { return DrawImage(end, 0, 0); }, TextMessage(7, std::string(size - 1, 'g')));
  }
}

}  // namespace
