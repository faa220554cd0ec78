// A display host that serves the socket to a client of any user: prints
// "serving", then a line for each client and each message, until killed.
// Linux only.
// usage: any_user_server
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "protocol/socket_address_linux.h"
#include "protocol/protocol.h"

int main() {
  const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  const SocketAddress address;
  if (bind(listener, address.get(), address.length) != 0 || listen(listener, 8) != 0) {
    std::perror("any_user_server");
    return 1;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::printf("serving as uid %u\n", static_cast<unsigned>(geteuid()));
  for (;;) {
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0) continue;
    ucred peer{};
    socklen_t size = sizeof(peer);
    getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size);
    std::printf("client of uid %u\n", static_cast<unsigned>(peer.uid));
    static char message[kMaxMessageSize];
    ssize_t got;
    while ((got = recv(client, message, sizeof(message), 0)) > 0) std::printf("message of %zd bytes\n", got);
    std::printf("client gone\n");
    close(client);
  }
}
