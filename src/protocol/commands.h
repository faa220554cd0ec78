// The catalogue of commands, made from VESPRINE_COMMANDS (protocol.h): for
// each code its name, payload form, the record fields it sets and how the
// monitor reads it. Tools that read messages decode by it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "protocol.h"

enum class PayloadForm { kShortRecord, kFullRecord, kTextPayload };

// The integer fields a command may set, in record order.
struct IntegerField {
  const char* name;
  size_t offset;
};
inline constexpr IntegerField kIntegerFields[] = {
    {"x", offsetof(CommandRecord, x)},
    {"y", offsetof(CommandRecord, y)},
    {"width", offsetof(CommandRecord, width)},
    {"height", offsetof(CommandRecord, height)},
    {"color1", offsetof(CommandRecord, color1)},
    {"color2", offsetof(CommandRecord, color2)},
    {"color3", offsetof(CommandRecord, color3)},
    {"alpha", offsetof(CommandRecord, alpha)},
    {"x2", offsetof(CommandRecord, x2)},
    {"y2", offsetof(CommandRecord, y2)},
    {"shapeParam", offsetof(CommandRecord, shapeParam)},
    {"textParam", offsetof(CommandRecord, textParam)},
};

// Bits of CommandInfo::fields: one per entry of kIntegerFields, then the strings.
enum FieldBit : uint32_t {
  kX = 1u << 0,
  kY = 1u << 1,
  kWidth = 1u << 2,
  kHeight = 1u << 3,
  kColor1 = 1u << 4,
  kColor2 = 1u << 5,
  kColor3 = 1u << 6,
  kAlpha = 1u << 7,
  kX2 = 1u << 8,
  kY2 = 1u << 9,
  kShapeParam = 1u << 10,
  kTextParam = 1u << 11,
  kName = 1u << 12,
  kText = 1u << 13,
};

struct CommandInfo {
  CommandCode code;
  const char* name;
  PayloadForm form;
  uint32_t fields;
  size_t stringBound;     // bound of the name or text it carries, 0 if none
  bool onlyDraws;         // it draws into layers that exist and changes nothing else
  const char* level;      // a log line's level ("V" to "C"), nullptr for any other command
  const char* levelName;  // and that level's name ("verbose" to "critical")
};

inline constexpr CommandInfo kCommands[] = {
#define VESPRINE_COMMAND_INFO(name, code, form, fields, bound, draws, level, levelName) \
  {CommandCode::name, #name, PayloadForm::form, fields, bound, draws, level, levelName},
    VESPRINE_COMMANDS(VESPRINE_COMMAND_INFO)
#undef VESPRINE_COMMAND_INFO
};

// The highest code a command uses.
inline constexpr int32_t kMaxCode = [] {
  int32_t most = 0;
  for (const CommandInfo& command : kCommands) most = std::max(most, static_cast<int32_t>(command.code));
  return most;
}();

// SetEncoding stands for two exports, told apart by `x`, the encoding it
// announces: these are their names, by `x`.
inline constexpr const char* kEncodingExports[] = {"SetEncodingUTF8", "SetEncodingShiftJIS"};

// The command for `code`, or nullptr for a code that no command uses.
const CommandInfo* FindCommand(int32_t code);

// Size of the payload of each form, the text form's largest.
size_t PayloadSize(PayloadForm form);
