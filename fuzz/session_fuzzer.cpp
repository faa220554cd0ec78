// libFuzzer target: a session file comes from another machine and another
// person. Every input must read as entries up to its end or to a reason,
// each message decoded as a replay would, without reading outside it.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "input/decode.h"
#include "input/session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  SessionReader reader(in);
  std::string error;
  if (!reader.Start(error)) return 0;
  SessionEntry entry;
  while (reader.Next(entry, error)) {
    if (entry.kind != SessionEntry::kMessage) continue;
    const Decoded decoded = Decode(entry.bytes.data(), entry.bytes.size());
    FormatJson(entry.client, decoded, entry.length, Encoding::kUtf8);
  }
  return 0;
}
