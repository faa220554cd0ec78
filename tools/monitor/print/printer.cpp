#include "print/printer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "scene/scene.h"

namespace {

bool lines_failed = false;

}  // namespace

bool FlushLines() {
  if (lines_failed) return false;
  // A failed write may have left nothing to flush: errno still says why.
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  lines_failed = true;
  std::fprintf(stderr, "vesprine-monitor: cannot write the lines to standard output: %s\n", std::strerror(errno));
  return false;
}

Printer::Printer(bool json, bool hex) : json_(json), hex_(hex) {
  // Lines go out in blocks.
  static char out_buffer[1 << 16];
  std::setvbuf(stdout, out_buffer, _IOFBF, sizeof(out_buffer));
}

void Printer::Print(int64_t client, const uint8_t* bytes, size_t stored, size_t length) {
  const Decoded decoded = Decode(bytes, stored);
  // As many clients as the scene knows, whatever a session file names.
  if (!encodings_.count(client) && encodings_.size() >= kMaxClients) encodings_.erase(encodings_.begin());
  Encoding& encoding = encodings_[client];
  std::string hex;
  if (hex_ && json_) {
    // In JSON the bytes go into the object, so that every line stays one object.
    for (size_t i = 0; i < stored; ++i) AppendHex(hex, bytes[i], true);
  }
  const std::string line = json_ ? FormatJson(client, decoded, length, encoding, hex_ ? &hex : nullptr)
                                 : FormatLine(client, decoded, length, encoding);
  if (!lines_failed) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    if (hex_ && !json_) std::fputs(FormatHex(bytes, stored).c_str(), stdout);
    if (std::ferror(stdout)) FlushLines();  // said now, while errno is the write's
  }
  encoding = NextEncoding(decoded, encoding);
  ++messages_;
  bytes_ += length;
  if (decoded.error.empty()) {
    ++per_command_[decoded.command];
  } else {
    ++malformed_;
  }
}

void Printer::Summary() const {
  std::fprintf(stderr, "vesprine-monitor: %lld messages, %lld malformed, %llu bytes\n",
               static_cast<long long>(messages_), static_cast<long long>(malformed_),
               static_cast<unsigned long long>(bytes_));
  for (const auto& [command, count] : per_command_) {
    std::fprintf(stderr, "  %-22s %lld\n", command.c_str(), static_cast<long long>(count));
  }
}
