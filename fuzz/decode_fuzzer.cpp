// libFuzzer target: the monitor's decoder is the one part that reads bytes
// from another process. Every input must decode to a message or a reason, and
// format in every form, without reading outside it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "input/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly `size` bytes, so any read past the message is caught.
  const std::vector<uint8_t> message(data, data + size);
  const Decoded decoded = Decode(message.data(), message.size());
  for (const Encoding encoding : {Encoding::kUtf8, Encoding::kShiftJis}) {
    FormatLine(1, decoded, size, encoding);
    FormatJson(1, decoded, size, encoding);
  }
  NextEncoding(decoded, Encoding::kUtf8);
  FormatHex(message.data(), message.size());
  return 0;
}
