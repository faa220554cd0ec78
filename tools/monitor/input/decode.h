// Decoding one message as the display host would read it, and the forms in
// which the monitor shows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/protocol.h"

// A record's integer fields: its first 60 bytes, by name.
struct RecordFields {
  int32_t code, reserved1, x, y, width, height, color1, color2, color3, alpha, reserved2, x2, y2, shapeParam, textParam;
};
static_assert(sizeof(RecordFields) == kShortRecordSize);

// What one message says, or why it is malformed.
struct Decoded {
  std::string error;  // empty when the message is well-formed
  int32_t code = 0;
  const char* command = "";                 // the export's name
  RecordFields fields{};                          // of a record; those the command does not set are zero
  uint32_t set = 0;                         // the integer fields it sets, as CommandInfo::fields bits
  bool textPayload = false;                 // a log line: no record, only text
  const char* stringField = nullptr;        // "name" or "text", when it carries one
  std::string_view string;                  // its bytes, inside the message
};

// Decodes `length` bytes; reads nothing outside them.
Decoded Decode(const uint8_t* message, size_t length);

enum class Encoding { kUtf8, kShiftJis };

// The encoding that a well-formed SetEncoding message announces, else `current`.
Encoding NextEncoding(const Decoded& decoded, Encoding current);

// `bytes` read in `encoding` as UTF-8 text; what does not decode becomes U+FFFD.
std::string ToText(std::string_view bytes, Encoding encoding);

// `#1 DrawPixel x=10 y=20`, `#2 LogE ""`, `#3 malformed: <reason> (<n> bytes)`.
std::string FormatLine(int64_t client, const Decoded& decoded, size_t length, Encoding encoding);
// The same as one JSON object; with `hex`, the message's bytes in hex too.
std::string FormatJson(int64_t client, const Decoded& decoded, size_t length, Encoding encoding,
                       const std::string* hex = nullptr);
// `byte` as two hex digits, in upper case or, when `lower`, in lower case.
void AppendHex(std::string& out, uint8_t byte, bool lower);
// The bytes in hex, 16 to an indented line.
std::string FormatHex(const uint8_t* message, size_t length);

// Decodes one Shift-JIS character at the start of `bytes` (which holds at
// least one byte) with the platform's converter, appending its UTF-8 to
// `out`. Returns the bytes used, or 0 when none decodes.
size_t DecodeShiftJis(std::string_view bytes, std::string& out);
