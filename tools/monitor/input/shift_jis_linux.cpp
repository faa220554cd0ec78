// Linux: Shift-JIS through glibc's iconv, as Windows code page 932.
#include <iconv.h>

#include <cassert>

#include "input/decode.h"

namespace {

// A converter of this thread's own: glibc's iconv keeps its state in the
// descriptor, so two threads may never use one at once. Opened on a thread's
// first character, closed when the thread ends.
class Converter {
 public:
  Converter() : descriptor_(iconv_open("UTF-8", "CP932")) {}
  ~Converter() {
    if (Usable()) iconv_close(descriptor_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Usable() const { return descriptor_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return descriptor_; }

 private:
  iconv_t descriptor_;
};

}  // namespace

size_t DecodeShiftJis(std::string_view bytes, std::string& out) {
  assert(!bytes.empty());
  thread_local const Converter converter;
  if (!converter.Usable()) return 0;
  // A character is one byte or a lead byte and a trail byte.
  for (size_t used = 1; used <= 2 && used <= bytes.size(); ++used) {
    char in[2] = {bytes[0], used == 2 ? bytes[1] : '\0'};
    char utf8[8];
    char* in_at = in;
    char* out_at = utf8;
    size_t in_left = used;
    size_t out_left = sizeof(utf8);
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter.get(), &in_at, &in_left, &out_at, &out_left) != static_cast<size_t>(-1) && in_left == 0) {
      out.append(utf8, out_at);
      return used;
    }
  }
  return 0;
}
