// The wire format shared by the library and every tool that reads its messages.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "messages are written in the machine's byte order, which must be little-endian");

enum class CommandCode : int32_t {
  DrawPixel = 1,
  DrawRect = 2,
  DrawString = 3,
  DrawLine = 4,
  SetColor = 5,
  // 6 is assigned to no command.
  DrawImage = 7,
  DrawImageScaled = 8,
  DrawClear = 9,
  CreateSprite = 10,
  DisposeSprite = 11,
  DisposeCurrentSprite = 12,
  DisposeAllSprites = 13,
  SetEditSprite = 14,
  SetBound = 15,
  SetZ = 16,
  SetVisible = 17,
  SetAlpha = 18,
  SetOPoint = 19,
  LogV = 20,
  LogD = 21,
  LogI = 22,
  LogW = 23,
  LogE = 24,
  LogC = 25,
  SetResolution = 26,
  SetBackground = 27,
  SetEncoding = 28,
  DrawEllipse = 29,
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
