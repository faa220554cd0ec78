// A client that sends the monitor malformed messages on a raw connection,
// then good ones through the library: every bad one must be reported and the
// good ones decoded all the same.
#include <cstdio>
#include <cstring>
#include <vector>

#include "VesprineDovetide.h"
#include "messages.h"
#include "test_server.h"

namespace {

// Sends each message as it is on a connection of its own, then closes it.
bool SendRaw(const std::vector<Bytes>& messages) {
  RawClient client;
  bool ok = client.Connected();
  for (const Bytes& message : messages) ok = ok && client.Send(message);
  return ok;
}

}  // namespace

int main() {
  Bytes oversized(70000, 'x');
  std::memcpy(oversized.data(), "\x16\0\0\0", 4);
  Bytes no_nul = NameMessage(11, "");
  std::memset(no_nul.data() + 64, 'n', 128);
  Bytes bad_length = TextMessage(3, "abc");
  bad_length[4292] = 9;
  Bytes record_code = ShortMessage(1);
  record_code[4] = 2;
  // Empty messages read as zero bytes, as the end of a connection does: one
  // first, two in a row, and one just before the connection closes.
  const std::vector<Bytes> garbage = {
      {},
      {1, 2},
      {},
      {},
      ShortMessage(6),
      ShortMessage(99),
      oversized,
      Bytes(63, 1),
      record_code,
      no_nul,
      bad_length,
      {20, 0, 0, 0, 'a', 'b'},
      {20, 0, 0, 0, 'a', 0, 'b', 0},
      ShortMessage(1, {{at::x, 7}}),
      {},
  };
  if (!SendRaw(garbage)) {
    std::puts("cannot connect to the monitor");
    return 1;
  }
  const bool delivered = DrawPixel(1, 2) == 1 && LogI("still decoding") == 1;
  Dispose();
  return delivered ? 0 : 1;
}
