#include "commands.h"

#include <array>

namespace {

// Each code's command, by code.
constexpr auto kByCode = [] {
  std::array<const CommandInfo*, kMaxCode + 1> by_code{};
  for (const CommandInfo& command : kCommands) by_code[static_cast<size_t>(command.code)] = &command;
  return by_code;
}();

}  // namespace

const CommandInfo* FindCommand(int32_t code) {
  return code >= 0 && code <= kMaxCode ? kByCode[static_cast<size_t>(code)] : nullptr;
}

size_t PayloadSize(PayloadForm form) {
  switch (form) {
    case PayloadForm::kShortRecord:
      return kShortRecordSize;
    case PayloadForm::kFullRecord:
      return kFullRecordSize;
    case PayloadForm::kTextPayload:
      break;
  }
  return kLogBound;
}
