// Linux: Shift-JIS through glibc's iconv, as Windows code page 932.
#include <iconv.h>

#include "input/decode.h"

namespace {

// A converter keeps state between calls, and the pipe's thread (printing
// lines), the render thread and the looks back decode at once: one each,
// closed when its thread ends.
struct Converter {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  ~Converter() {
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
};

}  // namespace

size_t DecodeShiftJis(std::string_view bytes, std::string& out) {
  static thread_local Converter own;
  const iconv_t converter = own.cd;
  if (converter == reinterpret_cast<iconv_t>(-1)) return 0;
  // A character is one byte or a lead byte and a trail byte.
  for (size_t used = 1; used <= 2 && used <= bytes.size(); ++used) {
    char in[2] = {bytes[0], used == 2 ? bytes[1] : '\0'};
    char utf8[8];
    char* in_at = in;
    char* out_at = utf8;
    size_t in_left = used;
    size_t out_left = sizeof(utf8);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &in_at, &in_left, &out_at, &out_left) != static_cast<size_t>(-1) && in_left == 0) {
      out.append(utf8, out_at);
      return used;
    }
  }
  return 0;
}
