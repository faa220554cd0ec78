// The wire format shared by the library and every tool that reads its messages.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "messages are written in the machine's byte order, which must be little-endian");

// Every command, once: the export's name, its code, the payload form, the
// record fields it sets, the bound of the string it carries (0: none),
// whether it only draws (into layers that exist, changing no sprite,
// setting or size: what is composed, and where, stays as it was), and for a
// log line its level and the level's name. Expanded wherever a command's
// fact is needed: this enum, the catalogue in commands.h, the monitor's
// handlers. Code 6 is assigned to no command.
//
//  name                  code form          fields set                                   string bound      draws  level, its name
#define VESPRINE_COMMANDS(X)                                                                                                            \
  X(DrawPixel,            1,   kShortRecord, kX | kY,                                     0,                true,  nullptr, nullptr)    \
  X(DrawRect,             2,   kShortRecord, kX | kY | kWidth | kHeight | kShapeParam,    0,                true,  nullptr, nullptr)    \
  X(DrawString,           3,   kFullRecord,  kX | kY | kTextParam | kText,                kTextBound,       true,  nullptr, nullptr)    \
  X(DrawLine,             4,   kShortRecord, kX | kY | kX2 | kY2,                         0,                true,  nullptr, nullptr)    \
  X(SetColor,             5,   kShortRecord, kColor1 | kColor2 | kColor3 | kAlpha,        0,                false, nullptr, nullptr)    \
  X(DrawImage,            7,   kFullRecord,  kX | kY | kText,                             kTextBound,       true,  nullptr, nullptr)    \
  X(DrawImageScaled,      8,   kFullRecord,  kX | kY | kWidth | kHeight | kAlpha | kText, kTextBound,       true,  nullptr, nullptr)    \
  X(DrawClear,            9,   kShortRecord, 0,                                           0,                true,  nullptr, nullptr)    \
  X(CreateSprite,         10,  kFullRecord,  kWidth | kHeight | kName,                    kNameBound,       false, nullptr, nullptr)    \
  X(DisposeSprite,        11,  kFullRecord,  kName,                                       kNameBound,       false, nullptr, nullptr)    \
  X(DisposeCurrentSprite, 12,  kShortRecord, 0,                                           0,                false, nullptr, nullptr)    \
  X(DisposeAllSprites,    13,  kShortRecord, 0,                                           0,                false, nullptr, nullptr)    \
  X(SetEditSprite,        14,  kFullRecord,  kName,                                       kNameBound,       false, nullptr, nullptr)    \
  X(SetBound,             15,  kShortRecord, kX | kY,                                     0,                false, nullptr, nullptr)    \
  X(SetZ,                 16,  kShortRecord, kX,                                          0,                false, nullptr, nullptr)    \
  X(SetVisible,           17,  kShortRecord, kX,                                          0,                false, nullptr, nullptr)    \
  X(SetAlpha,             18,  kShortRecord, kAlpha,                                      0,                false, nullptr, nullptr)    \
  X(SetOPoint,            19,  kShortRecord, kX | kY,                                     0,                false, nullptr, nullptr)    \
  X(LogV,                 20,  kTextPayload, 0,                                           kLogBound,        false, "V",     "verbose")  \
  X(LogD,                 21,  kTextPayload, 0,                                           kLogBound,        false, "D",     "debug")    \
  X(LogI,                 22,  kTextPayload, 0,                                           kLogBound,        false, "I",     "info")     \
  X(LogW,                 23,  kTextPayload, 0,                                           kLogBound,        false, "W",     "warning")  \
  X(LogE,                 24,  kTextPayload, 0,                                           kLogBound,        false, "E",     "error")    \
  X(LogC,                 25,  kTextPayload, 0,                                           kLogBound,        false, "C",     "critical") \
  X(SetResolution,        26,  kShortRecord, kWidth | kHeight,                            0,                false, nullptr, nullptr)    \
  X(SetBackground,        27,  kFullRecord,  kAlpha | kText,                              kBackgroundBound, false, nullptr, nullptr)    \
  X(SetEncoding,          28,  kShortRecord, kX,                                          0,                false, nullptr, nullptr)    \
  X(DrawEllipse,          29,  kShortRecord, kX | kY | kWidth | kHeight | kShapeParam,    0,                true,  nullptr, nullptr)

enum class CommandCode : int32_t {
#define VESPRINE_CODE(name, code, ...) name = code,
  VESPRINE_COMMANDS(VESPRINE_CODE)
#undef VESPRINE_CODE
};

// One flat record serves every record command; each command sets only the
// fields it uses and the rest are sent as zero.
struct CommandRecord {
  int32_t code;
  int32_t reserved1;
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  int32_t color1;
  int32_t color2;
  int32_t color3;
  int32_t alpha;
  int32_t reserved2;
  int32_t x2;
  int32_t y2;
  int32_t shapeParam;
  int32_t textParam;
  char name[128];
  int32_t nameLength;
  char text[4096];
  int32_t textLength;
};

static_assert(offsetof(CommandRecord, code) == 0);
static_assert(offsetof(CommandRecord, reserved1) == 4);
static_assert(offsetof(CommandRecord, x) == 8);
static_assert(offsetof(CommandRecord, y) == 12);
static_assert(offsetof(CommandRecord, width) == 16);
static_assert(offsetof(CommandRecord, height) == 20);
static_assert(offsetof(CommandRecord, color1) == 24);
static_assert(offsetof(CommandRecord, color2) == 28);
static_assert(offsetof(CommandRecord, color3) == 32);
static_assert(offsetof(CommandRecord, alpha) == 36);
static_assert(offsetof(CommandRecord, reserved2) == 40);
static_assert(offsetof(CommandRecord, x2) == 44);
static_assert(offsetof(CommandRecord, y2) == 48);
static_assert(offsetof(CommandRecord, shapeParam) == 52);
static_assert(offsetof(CommandRecord, textParam) == 56);
static_assert(offsetof(CommandRecord, name) == 60);
static_assert(offsetof(CommandRecord, nameLength) == 188);
static_assert(offsetof(CommandRecord, text) == 192);
static_assert(offsetof(CommandRecord, textLength) == 4288);
static_assert(sizeof(CommandRecord) == 4292);

// Where the display host listens: its named pipe on Windows, and on Linux the
// abstract socket that stands in for it (the name's bytes, without a NUL).
constexpr char kPipeName[] = "\\\\.\\pipe\\VesprinePipe";
constexpr char kSocketName[] = "VesprinePipe";

// Every message is a 4-byte code followed by its payload.
constexpr size_t kPrefixSize = 4;
// A short record is the record up to and including textParam: no strings.
constexpr size_t kShortRecordSize = offsetof(CommandRecord, name);
constexpr size_t kFullRecordSize = sizeof(CommandRecord);
// Bounds count the terminating NUL.
constexpr size_t kNameBound = sizeof(CommandRecord::name);
constexpr size_t kTextBound = sizeof(CommandRecord::text);
constexpr size_t kBackgroundBound = 128;
constexpr size_t kLogBound = 65536;
constexpr size_t kMaxMessageSize = kPrefixSize + kLogBound;
// What a receiver keeps of one message: a byte more than the largest, so
// that a longer one shows as longer (its rest is counted, not kept).
constexpr size_t kMaxKept = kMaxMessageSize + 1;

static_assert(kShortRecordSize == 60);

// A record message as it goes on the wire: the code, then the record, so a
// command builds its message in place and it is written as it stands.
struct RecordMessage {
  int32_t code;
  CommandRecord record;
};
static_assert(offsetof(RecordMessage, record) == kPrefixSize);
static_assert(sizeof(RecordMessage) == kPrefixSize + kFullRecordSize);

// Start a record message for `code`: both copies of the code are set and
// every byte that will be sent is zero, but for the string field that the
// command fills by BoundedCopy (`text` or `name`), which is left as it is.
void StartShortRecord(RecordMessage& message, CommandCode code);
void StartNameRecord(RecordMessage& message, CommandCode code);
void StartTextRecord(RecordMessage& message, CommandCode code);

// The first NUL among the `bound` bytes at `string`, or nullptr when there is
// none. Reads none of the bytes past them.
const char* FindNul(const char* string, size_t bound);

// Copies `string` with its NUL into `field` when it fits in `bound` bytes and
// returns its length; the rest of the field's first `bound` bytes is zeroed.
// A missing string, or one with no NUL within its first `bound` bytes, leaves
// those bytes all zero (the empty string) and returns 0. Reads at most
// `bound` bytes of `string`.
int32_t BoundedCopy(char* field, size_t bound, const char* string);
