// Linux: the abstract SOCK_SEQPACKET socket "VesprinePipe", every client
// polled on one thread.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include "protocol/protocol.h"
#include "server.h"

namespace {

volatile sig_atomic_t interrupted = 0;

void Interrupt(int) { interrupted = 1; }

struct Client {
  int fd;
  int number;
};

}  // namespace

ServeResult Serve(const ServeHandlers& handlers) {
  const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, kSocketName, sizeof(kSocketName) - 1);
  if (listener < 0) return ServeResult::kFailed;
  const socklen_t address_length = offsetof(sockaddr_un, sun_path) + sizeof(kSocketName);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), address_length) != 0) {
    const bool in_use = errno == EADDRINUSE;
    close(listener);
    return in_use ? ServeResult::kNameInUse : ServeResult::kFailed;
  }
  if (listen(listener, 64) != 0) return ServeResult::kFailed;

  // No SA_RESTART: a signal wakes poll, which then sees the flag.
  struct sigaction action {};
  action.sa_handler = Interrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  handlers.ready();

  std::vector<Client> clients;
  std::vector<uint8_t> buffer(kMaxMessageSize + 1);
  int next_number = 1;
  bool serving = true;
  while (serving && !interrupted) {
    std::vector<pollfd> fds{{listener, POLLIN, 0}};
    for (const Client& client : clients) fds.push_back({client.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), 0) == 0) {
      handlers.idle();
      if (poll(fds.data(), fds.size(), -1) < 0) continue;
    }
    for (size_t i = 1; i < fds.size() && serving; ++i) {
      if (fds[i].revents == 0) continue;
      Client& client = clients[i - 1];
      // Takes what the client has queued, a bounded number at a time so that
      // every client is served in turn.
      for (int taken = 0; taken < 64 && serving; ++taken) {
        // MSG_TRUNC: the whole length of the message even when it is longer than the buffer.
        const ssize_t length = recv(client.fd, buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT);
        // A zero-length read is an empty message while the client is still
        // there, and the end of the connection once it has hung up: only a
        // fresh poll tells which.
        if (length == 0 && taken > 0) break;
        if (length > 0 || (length == 0 && !(fds[i].revents & POLLHUP))) {
          const size_t stored = std::min(static_cast<size_t>(length), buffer.size());
          serving = handlers.message(client.number, buffer.data(), stored, static_cast<size_t>(length));
          if (length == 0) break;
        } else if (length < 0 && (errno == EAGAIN || errno == EINTR)) {
          break;
        } else {
          close(client.fd);
          client.fd = -1;
          if (handlers.client) handlers.client(client.number, false);
          break;
        }
      }
    }
    std::erase_if(clients, [](const Client& client) { return client.fd < 0; });
    if (fds[0].revents & POLLIN) {
      const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        clients.push_back({fd, next_number++});
        if (handlers.client) handlers.client(clients.back().number, true);
      }
    }
  }
  for (const Client& client : clients) close(client.fd);
  close(listener);
  return ServeResult::kStopped;
}
