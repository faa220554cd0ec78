// Expected messages, built from the wire format's tables independently of the
// library's own record type.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "test_server.h"

// Record offsets of the fields; the offset in a message is 4 more.
namespace at {
constexpr size_t x = 8, y = 12, width = 16, height = 20, color1 = 24, color2 = 28, color3 = 32, alpha = 36,
                 x2 = 44, y2 = 48, shapeParam = 52, textParam = 56;
}  // namespace at

using Fields = std::initializer_list<std::pair<size_t, int32_t>>;

// A 64-byte message: the code twice, the given fields, zeros elsewhere.
Bytes ShortMessage(int32_t code, Fields fields = {});
// A 4296-byte message with `name` or `text` (and its length field) set.
Bytes NameMessage(int32_t code, const std::string& name, Fields fields = {});
Bytes TextMessage(int32_t code, const std::string& text, Fields fields = {});
// A log message: the code, the text, one NUL.
Bytes LogMessage(int32_t code, const std::string& text);

// Passes when both messages are equal; otherwise says where they first differ.
testing::AssertionResult SameMessage(const Bytes& actual, const Bytes& expected);

// One call of an export with the message it must send.
struct Golden {
  std::string what;
  std::function<int32_t()> call;
  Bytes expected;
};

// Every command export, called with distinct values in every argument.
const std::vector<Golden>& EveryCommand();

// Leaves non-zero bytes in the stack below the caller, so a message that
// carries stale memory would show it.
void DirtyStack();
