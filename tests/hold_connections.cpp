// Opens up to N connections to the display host's socket without sending
// anything, says how many it opened, and holds them until standard input
// ends. Linux only.
// usage: hold_connections N
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "protocol/protocol.h"

namespace {

// A connection, or -1. Non-blocking, so that a full backlog refuses at once
// instead of waiting.
int Connect() {
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, kSocketName, sizeof(kSocketName) - 1);
  const socklen_t length = offsetof(sockaddr_un, sun_path) + sizeof(kSocketName);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const long wanted = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (wanted <= 0) {
    std::fputs("usage: hold_connections N\n", stderr);
    return 2;
  }
  std::vector<int> held;
  for (long i = 0; i < wanted; ++i) {
    const int fd = Connect();
    if (fd >= 0) held.push_back(fd);
  }
  std::printf("%zu\n", held.size());
  std::fflush(stdout);
  char byte;
  while (read(STDIN_FILENO, &byte, 1) > 0) {
  }
  for (const int fd : held) close(fd);
  return 0;
}
