// Linux: the abstract SOCK_SEQPACKET socket "VesprinePipe", every client
// polled on one thread.
#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/socket_address_linux.h"
#include "protocol/protocol.h"
#include "input/server.h"
#include "input/stop.h"

namespace {

struct Client {
  int fd;
  int64_t number;
};

using Clock = std::chrono::steady_clock;

// How long the listener is left out of the poll after an accept found no
// descriptor free: a waiting client would otherwise wake the poll at once,
// again and again, until one leaves.
constexpr auto kDescriptorWait = std::chrono::milliseconds(100);

// Room to take up to kCount messages in one recvmmsg call.
struct Batch {
  static constexpr unsigned kCount = 64;
  std::unique_ptr<uint8_t[]> buffers{new uint8_t[kCount * kMaxKept]};  // touched only as far as used
  mmsghdr headers[kCount]{};
  iovec vectors[kCount]{};
  alignas(cmsghdr) char control[kCount][CMSG_SPACE(sizeof(ucred))]{};

  uint8_t* Buffer(int m) { return buffers.get() + size_t(m) * kMaxKept; }

  // The number of entries read, or -1 with errno.
  int Receive(int fd) {
    for (unsigned m = 0; m < kCount; ++m) {
      vectors[m] = {Buffer(static_cast<int>(m)), kMaxKept};
      headers[m].msg_hdr.msg_iov = &vectors[m];
      headers[m].msg_hdr.msg_iovlen = 1;
      headers[m].msg_hdr.msg_control = control[m];
      headers[m].msg_hdr.msg_controllen = sizeof(control[m]);
    }
    // MSG_TRUNC: each entry's whole length even when it is longer than its buffer.
    return recvmmsg(fd, headers, kCount, MSG_DONTWAIT | MSG_TRUNC, nullptr);
  }

  // An entry that carries credentials is a message, perhaps an empty one; one
  // without is the end of the connection.
  bool IsMessage(int m) const { return headers[m].msg_hdr.msg_controllen > 0; }
};

// Whether the client on `fd` runs as this process's user; a client of any
// other user is refused, said once on standard error.
bool SameUser(int fd) {
  ucred peer{};
  socklen_t size = sizeof(peer);
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return false;
  if (peer.uid == geteuid()) return true;
  std::fprintf(stderr, "vesprine-monitor: refused a client of uid %u: only uid %u may connect\n",
               static_cast<unsigned>(peer.uid), static_cast<unsigned>(geteuid()));
  return false;
}

enum class Accepted { kClient, kNone, kNoDescriptor };

// Accepts one waiting client of this user into `fd`, with credentials on
// every message: they tell a message from the end of the connection, as
// both read as zero bytes.
Accepted Accept(int listener, int& fd) {
  fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    const bool lack = errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM;
    return lack ? Accepted::kNoDescriptor : Accepted::kNone;
  }
  const int on = 1;
  if (!SameUser(fd) || setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof(on)) != 0) {
    close(fd);
    return Accepted::kNone;
  }
  return Accepted::kClient;
}

// Milliseconds from now until `time`, at least 0: a poll's timeout.
int MillisecondsUntil(Clock::time_point time) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(time - Clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

}  // namespace

ServeResult Serve(const ServeHandlers& handlers) {
  assert(handlers.message && handlers.idle && handlers.ready);
  const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (listener < 0) return ServeResult::kFailed;
  const SocketAddress address;
  if (bind(listener, address.get(), address.length) != 0) {
    const bool in_use = errno == EADDRINUSE;
    close(listener);
    return in_use ? ServeResult::kNameInUse : ServeResult::kFailed;
  }
  if (listen(listener, 64) != 0) return ServeResult::kFailed;

  // A session file past the size limit fails its write instead of ending the monitor.
  signal(SIGXFSZ, SIG_IGN);
  handlers.ready();

  std::vector<Client> clients;
  Batch batch;
  int64_t next_number = 1;
  bool serving = true;
  Clock::time_point listen_again{};  // until then the listener waits for descriptors
  // The stop's descriptor first, then the listener, then each client.
  constexpr size_t kFirstClient = 2;
  while (serving && !Stopping()) {
    const bool listening = Clock::now() >= listen_again;
    std::vector<pollfd> fds{{StopDescriptor(), POLLIN, 0}, {listener, static_cast<short>(listening ? POLLIN : 0), 0}};
    for (const Client& client : clients) fds.push_back({client.fd, POLLIN, 0});
    // Asked before looking: whatever came before the answer is seen below.
    const bool done = handlers.done && handlers.done();
    if (poll(fds.data(), fds.size(), 0) == 0) {
      handlers.idle();
      if (done && clients.empty()) break;
      const int wait = listening ? -1 : MillisecondsUntil(listen_again);
      if (poll(fds.data(), fds.size(), handlers.done && (wait < 0 || wait > 50) ? 50 : wait) <= 0) continue;
    }
    for (size_t i = kFirstClient; i < fds.size() && serving && !Stopping(); ++i) {
      if (fds[i].revents == 0) continue;
      Client& client = clients[i - kFirstClient];
      // Takes what the client has queued, up to a batch in one call, so
      // that every client is served in turn.
      const int got = batch.Receive(client.fd);
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      for (int m = 0; m < got && serving; ++m) {
        if (!batch.IsMessage(m)) break;
        const size_t length = batch.headers[m].msg_len;
        serving = handlers.message(client.number, batch.Buffer(m), std::min(length, kMaxKept), length);
      }
      if (got <= 0 || !batch.IsMessage(got - 1)) {
        close(client.fd);
        client.fd = -1;
        if (handlers.client) handlers.client(client.number, false);
      }
    }
    std::erase_if(clients, [](const Client& client) { return client.fd < 0; });
    if (fds[1].revents & POLLIN) {
      int fd = -1;
      const Accepted accepted = Accept(listener, fd);
      if (accepted == Accepted::kClient) {
        clients.push_back({fd, next_number++});
        if (handlers.client) handlers.client(clients.back().number, true);
      } else if (accepted == Accepted::kNoDescriptor) {
        listen_again = Clock::now() + kDescriptorWait;
      }
    }
  }
  for (const Client& client : clients) close(client.fd);
  close(listener);
  return ServeResult::kStopped;
}

// The listening socket's inode from /proc/net/unix, then the process that
// holds a descriptor of it (only processes this user may look into).
std::string NameServer() {
  std::ifstream table("/proc/net/unix");
  const std::string path = std::string("@") + kSocketName;
  std::string line, inode;
  while (inode.empty() && std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, references, protocol, flags, type, state, number, name;
    fields >> slot >> references >> protocol >> flags >> type >> state >> number >> name;
    if (name == path && flags == "00010000") inode = number;
  }
  if (inode.empty()) return "";
  const std::string target = "socket:[" + inode + "]";
  // Processes come and go meanwhile: what cannot be read is passed over.
  DIR* processes = opendir("/proc");
  std::string found;
  while (processes != nullptr && found.empty()) {
    const dirent* process = readdir(processes);
    if (process == nullptr) break;
    const std::string pid = process->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string folder = "/proc/" + pid + "/fd/";
    DIR* fds = opendir(folder.c_str());
    for (const dirent* fd = fds ? readdir(fds) : nullptr; fd != nullptr; fd = readdir(fds)) {
      char link[64] = "";
      const ssize_t size = readlink((folder + fd->d_name).c_str(), link, sizeof(link) - 1);
      if (size <= 0 || std::string(link, size_t(size)) != target) continue;
      // The program's name as started (comm would cut it to 15 bytes).
      std::string name;
      std::getline(std::ifstream("/proc/" + pid + "/cmdline"), name, '\0');
      found = "pid " + pid + " (" + name.substr(name.find_last_of('/') + 1) + ")";
      break;
    }
    if (fds != nullptr) closedir(fds);
  }
  if (processes != nullptr) closedir(processes);
  return found;
}
