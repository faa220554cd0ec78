#include "protocol.h"

#include <cstring>

void StartRecord(CommandRecord& record, CommandCode code, size_t size) {
  std::memset(&record, 0, size);
  record.code = static_cast<int32_t>(code);
}

int32_t BoundedCopy(char* field, size_t bound, const char* string) {
  const void* nul = string != nullptr ? std::memchr(string, 0, bound) : nullptr;
  if (nul == nullptr) {
    field[0] = '\0';
    return 0;
  }
  const size_t length = static_cast<const char*>(nul) - string;
  std::memcpy(field, string, length + 1);
  return static_cast<int32_t>(length);
}
