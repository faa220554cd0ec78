#include "protocol.h"

#include <cstring>

void StartShortRecord(RecordMessage& message, CommandCode code) {
  std::memset(&message.record, 0, kShortRecordSize);
  message.code = message.record.code = static_cast<int32_t>(code);
}

void StartNameRecord(RecordMessage& message, CommandCode code) {
  StartShortRecord(message, code);
  std::memset(message.record.text, 0, sizeof(message.record.text));
  message.record.textLength = 0;
}

void StartTextRecord(RecordMessage& message, CommandCode code) {
  StartShortRecord(message, code);
  std::memset(message.record.name, 0, sizeof(message.record.name));
  message.record.nameLength = 0;
}

int32_t BoundedCopy(char* field, size_t bound, const char* string) {
  const char* nul = string != nullptr ? FindNul(string, bound) : nullptr;
  const size_t length = nul != nullptr ? static_cast<size_t>(nul - string) : 0;
  if (nul != nullptr) std::memcpy(field, string, length);
  std::memset(field + length, 0, bound - length);
  return static_cast<int32_t>(length);
}
