#include "input/decode.h"

#include <cstdio>
#include <cstring>

#include <nlohmann/json.hpp>

#include "input/utf8.h"
#include "protocol/commands.h"

namespace {

int32_t ReadInt(const uint8_t* at) {
  int32_t value;
  std::memcpy(&value, at, sizeof(value));
  return value;
}

Decoded Malformed(std::string reason) {
  Decoded decoded;
  decoded.error = std::move(reason);
  return decoded;
}

// Finds the string of a record field: the bytes before the NUL, which must
// lie within `bound`, and agree with the length field.
bool ReadString(const uint8_t* record, size_t field, size_t bound, size_t length_field, const char* name,
                const char* length_name, Decoded& decoded) {
  const auto* start = reinterpret_cast<const char*>(record + field);
  const void* nul = std::memchr(start, 0, bound);
  if (nul == nullptr) {
    decoded = Malformed(std::string(name) + " has no NUL within its " + std::to_string(bound) + " bytes");
    return false;
  }
  const size_t size = static_cast<const char*>(nul) - start;
  const int32_t declared = ReadInt(record + length_field);
  if (declared < 0 || static_cast<size_t>(declared) != size) {
    decoded = Malformed(std::string(length_name) + " " + std::to_string(declared) + " disagrees with the " +
                        std::to_string(size) + " bytes of " + name);
    return false;
  }
  decoded.stringField = name;
  decoded.string = std::string_view(start, size);
  return true;
}

// Calls visit(name, value) for each integer field the command sets, in record order.
template <class Visit>
void ForEachInteger(const Decoded& decoded, const Visit& visit) {
  for (size_t i = 0; i < std::size(kIntegerFields); ++i) {
    if (decoded.set & (1u << i)) {
      visit(kIntegerFields[i].name, ReadInt(reinterpret_cast<const uint8_t*>(&decoded.fields) + kIntegerFields[i].offset));
    }
  }
}

void AppendHexByte(std::string& out, const char* prefix, uint8_t byte) {
  out += prefix;
  AppendHex(out, byte, false);
}

// Appends `bytes`, read in `encoding`, as UTF-8: characters that decode as
// they are, bytes that do not as \xNN; when `quoted`, as the inside of a
// quoted string (quotes, backslashes and control characters escaped).
void AppendText(std::string& out, std::string_view bytes, Encoding encoding, bool quoted) {
  while (!bytes.empty()) {
    const auto byte = static_cast<uint8_t>(bytes[0]);
    size_t used = 1;
    if (quoted && (byte == '"' || byte == '\\')) {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (quoted && byte == '\n') {
      out += "\\n";
    } else if (quoted && byte == '\t') {
      out += "\\t";
    } else if (quoted && byte == '\r') {
      out += "\\r";
    } else if (quoted && (byte < 0x20 || byte == 0x7F)) {
      AppendHexByte(out, "\\x", byte);
    } else if (byte < 0x80) {
      out += static_cast<char>(byte);
    } else {
      used = encoding == Encoding::kUtf8 ? NextCodePoint(bytes).length : DecodeShiftJis(bytes, out);
      if (used == 0) {
        AppendHexByte(out, "\\x", byte);
        used = 1;
      } else if (encoding == Encoding::kUtf8) {
        out.append(bytes.substr(0, used));
      }
    }
    bytes.remove_prefix(used);
  }
}

}  // namespace

void AppendHex(std::string& out, uint8_t byte, bool lower) {
  const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
  out += digits[byte >> 4];
  out += digits[byte & 15];
}

Decoded Decode(const uint8_t* message, size_t length) {
  if (length < kPrefixSize) return Malformed("shorter than the 4-byte code");
  const int32_t code = ReadInt(message);
  const CommandInfo* command = FindCommand(code);
  if (command == nullptr) return Malformed("unknown code " + std::to_string(code));

  const uint8_t* payload = message + kPrefixSize;
  const size_t payload_size = length - kPrefixSize;
  Decoded decoded;
  decoded.code = code;
  decoded.command = command->name;

  if (command->form == PayloadForm::kTextPayload) {
    if (payload_size < 1 || payload_size > kLogBound) {
      return Malformed(std::string(decoded.command) + " needs 5 to " + std::to_string(kMaxMessageSize) + " bytes");
    }
    if (payload[payload_size - 1] != 0) return Malformed("text has no terminating NUL");
    const auto* text = reinterpret_cast<const char*>(payload);
    if (std::memchr(text, 0, payload_size - 1) != nullptr) return Malformed("text has a NUL before its end");
    decoded.textPayload = true;
    decoded.stringField = "text";
    decoded.string = std::string_view(text, payload_size - 1);
    return decoded;
  }

  const size_t expected = PayloadSize(command->form);
  if (payload_size != expected) {
    return Malformed(std::string(decoded.command) + " needs " + std::to_string(kPrefixSize + expected) + " bytes");
  }
  const int32_t record_code = ReadInt(payload + offsetof(CommandRecord, code));
  if (record_code != code) {
    return Malformed("record code " + std::to_string(record_code) + " differs from code " + std::to_string(code));
  }
  std::memcpy(&decoded.fields, payload, sizeof(RecordFields));
  decoded.set = command->fields & ((1u << std::size(kIntegerFields)) - 1);
  // RecordFields the command does not set carry no meaning: they read as zero.
  decoded.fields.reserved1 = decoded.fields.reserved2 = 0;
  for (size_t i = 0; i < std::size(kIntegerFields); ++i) {
    if ((decoded.set & (1u << i)) == 0) std::memset(reinterpret_cast<char*>(&decoded.fields) + kIntegerFields[i].offset, 0, 4);
  }
  if ((command->fields & kName) &&
      !ReadString(payload, offsetof(CommandRecord, name), command->stringBound, offsetof(CommandRecord, nameLength),
                  "name", "nameLength", decoded)) {
    return decoded;
  }
  if ((command->fields & kText) &&
      !ReadString(payload, offsetof(CommandRecord, text), command->stringBound, offsetof(CommandRecord, textLength),
                  "text", "textLength", decoded)) {
    return decoded;
  }
  if (command->code == CommandCode::SetEncoding) {
    const int32_t encoding = decoded.fields.x;
    if (encoding < 0 || encoding >= int32_t(std::size(kEncodingExports))) {
      return Malformed("unknown encoding x=" + std::to_string(encoding));
    }
    decoded.command = kEncodingExports[encoding];
  }
  return decoded;
}

Encoding NextEncoding(const Decoded& decoded, Encoding current) {
  if (!decoded.error.empty() || decoded.code != static_cast<int32_t>(CommandCode::SetEncoding)) return current;
  return decoded.fields.x == 0 ? Encoding::kUtf8 : Encoding::kShiftJis;
}

std::string ToText(std::string_view bytes, Encoding encoding) {
  std::string text;
  while (!bytes.empty()) {
    size_t used = 1;
    if (static_cast<uint8_t>(bytes[0]) < 0x80) {
      text += bytes[0];
    } else {
      used = encoding == Encoding::kUtf8 ? NextCodePoint(bytes).length : DecodeShiftJis(bytes, text);
      if (used == 0) {
        text += "\xEF\xBF\xBD";
        used = 1;
      } else if (encoding == Encoding::kUtf8) {
        text.append(bytes.substr(0, used));
      }
    }
    bytes.remove_prefix(used);
  }
  return text;
}

std::string FormatLine(int64_t client, const Decoded& decoded, size_t length, Encoding encoding) {
  std::string line = "#" + std::to_string(client) + " ";
  if (!decoded.error.empty()) return line + "malformed: " + decoded.error + " (" + std::to_string(length) + " bytes)";
  line += decoded.command;
  ForEachInteger(decoded, [&](const char* name, int32_t value) { line += " " + std::string(name) + "=" + std::to_string(value); });
  if (decoded.stringField != nullptr) {
    line += ' ';
    // A log line is all text; a record's string is shown by its field name.
    if (!decoded.textPayload) line += std::string(decoded.stringField) + "=";
    line += '"';
    AppendText(line, decoded.string, encoding, true);
    line += '"';
  }
  return line;
}

std::string FormatJson(int64_t client, const Decoded& decoded, size_t length, Encoding encoding,
                       const std::string* hex) {
  nlohmann::ordered_json json;
  json["client"] = client;
  if (!decoded.error.empty()) {
    json["error"] = decoded.error;
    json["length"] = length;
  } else {
    json["code"] = decoded.code;
    json["command"] = decoded.command;
    ForEachInteger(decoded, [&](const char* name, int32_t value) { json[name] = value; });
    if (decoded.stringField != nullptr) {
      std::string text;
      AppendText(text, decoded.string, encoding, false);
      json[decoded.stringField] = text;
    }
  }
  if (hex != nullptr) json["hex"] = *hex;
  return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string FormatHex(const uint8_t* message, size_t length) {
  std::string hex;
  for (size_t row = 0; row < length; row += 16) {
    char offset[32];
    std::snprintf(offset, sizeof(offset), "    %04zx ", row);
    hex += offset;
    for (size_t i = row; i < length && i < row + 16; ++i) AppendHexByte(hex, " ", message[i]);
    hex += '\n';
  }
  return hex;
}
