// Linux: glibc's memchr is vectorised and reads nothing past its bound.
#include <cstring>

#include "protocol.h"

const char* FindNul(const char* string, size_t bound) {
  return static_cast<const char*>(std::memchr(string, 0, bound));
}
