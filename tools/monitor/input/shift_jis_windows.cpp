// Windows: Shift-JIS through the system's code page 932.
#include <windows.h>

#include <cassert>

#include "input/decode.h"

size_t DecodeShiftJis(std::string_view bytes, std::string& out) {
  assert(!bytes.empty());
  // A character is one byte or a lead byte and a trail byte.
  for (size_t used = 1; used <= 2 && used <= bytes.size(); ++used) {
    wchar_t wide[2];
    const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(used), wide, 2);
    if (n <= 0) continue;
    char utf8[8];
    const int m = WideCharToMultiByte(CP_UTF8, 0, wide, n, utf8, sizeof(utf8), nullptr, nullptr);
    if (m <= 0) return 0;
    out.append(utf8, static_cast<size_t>(m));
    return used;
  }
  return 0;
}
