// Opens up to N connections to the display host's pipe (on Linux its socket)
// without sending anything, says how many it opened, and holds them until
// standard input ends.
// usage: hold_connections N
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "protocol/socket_address_linux.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "protocol/protocol.h"

namespace {

#ifdef _WIN32
using Connection = HANDLE;

// Adds a connection to `held`, if one opens. An instance busy is waited for, up to 5 s.
void Connect(std::vector<HANDLE>& held) {
  for (int tries = 0; tries < 50; ++tries) {
    const HANDLE pipe = CreateFileA(kPipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return held.push_back(pipe);
    if (GetLastError() != ERROR_PIPE_BUSY) return;
    WaitNamedPipeA(kPipeName, 100);
  }
}

void Disconnect(HANDLE pipe) { CloseHandle(pipe); }
#else
using Connection = int;

// Adds a connection to `held`, if one opens. Non-blocking, so that a full
// backlog refuses at once instead of waiting.
void Connect(std::vector<int>& held) {
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const SocketAddress address;
  if (fd >= 0 && connect(fd, address.get(), address.length) == 0) return held.push_back(fd);
  if (fd >= 0) close(fd);
}

void Disconnect(int fd) { close(fd); }
#endif

}  // namespace

int main(int argc, char** argv) {
  const long wanted = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (wanted <= 0) {
    std::fputs("usage: hold_connections N\n", stderr);
    return 2;
  }
  std::vector<Connection> held;
  for (long i = 0; i < wanted; ++i) Connect(held);
  std::printf("%zu\n", held.size());
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  for (const Connection connection : held) Disconnect(connection);
  return 0;
}
