// Linux: the pipe name stands for the abstract AF_UNIX SOCK_SEQPACKET socket
// "VesprinePipe", so each message arrives as one read, as in a message-mode pipe.
// Only a server of the caller's own user, or root, is kept: an abstract name
// belongs to whoever binds it first, any user.
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "connection.h"
#include "protocol/socket_address_linux.h"

namespace PipeConnection {
namespace {

int socket_fd = -1;

// Whether the server on `fd` runs as the caller's user or as root.
bool TrustedServer(int fd) {
  ucred peer{};
  socklen_t size = sizeof(peer);
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && (peer.uid == geteuid() || peer.uid == 0);
}

}  // namespace

bool IsOpen() { return socket_fd >= 0; }

bool Open() {
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  const SocketAddress address;
  // Non-blocking, so a full backlog fails at once like a busy pipe; then
  // blocking, so a write waits for a slow reader like WriteFile does.
  if (connect(fd, address.get(), address.length) != 0 || !TrustedServer(fd) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(fd);
    return false;
  }
  socket_fd = fd;
  return true;
}

bool Close() {
  const int result = close(socket_fd);
  socket_fd = -1;
  return result == 0;
}

namespace {

// One buffer goes by send; two are gathered by sendmsg, which costs a little
// more but spares copying a long text.
ssize_t SendOnce(const void* head, size_t head_size, const void* tail, size_t tail_size) {
  if (tail_size == 0) return send(socket_fd, head, head_size, MSG_NOSIGNAL);
  iovec parts[2] = {{const_cast<void*>(head), head_size}, {const_cast<void*>(tail), tail_size}};
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = 2;
  return sendmsg(socket_fd, &message, MSG_NOSIGNAL);
}

}  // namespace

WriteResult Write(const void* head, size_t head_size, const void* tail, size_t tail_size) {
  ssize_t sent;
  do {
    sent = SendOnce(head, head_size, tail, tail_size);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(head_size + tail_size) ? WriteResult::kWritten : WriteResult::kFailed;
}

}  // namespace PipeConnection
