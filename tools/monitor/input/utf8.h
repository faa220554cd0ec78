// Reading UTF-8, for the lines the monitor prints and the text it draws
// alike: by utfcpp, so that an overlong form, a surrogate or a code point
// past U+10FFFF is no character, as a stray byte is not.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utf8cpp/utf8.h>

struct CodePoint {
  uint32_t point = 0;
  size_t length = 0;  // 0: no well-formed sequence starts here
};

// The well-formed sequence at the start of `bytes`, if one starts there.
inline CodePoint NextCodePoint(std::string_view bytes) {
  // A sequence is at most 4 bytes: looking no further keeps this constant.
  const char* at = bytes.data();
  if (bytes.empty() || utf8::find_invalid(at, at + std::min<size_t>(bytes.size(), 4)) == at) return {};
  const uint32_t point = utf8::unchecked::next(at);
  return {point, size_t(at - bytes.data())};
}
