// Test server on Linux: the abstract SOCK_SEQPACKET socket "VesprinePipe",
// one client read at a time, in order of connection.
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <future>
#include <stdexcept>
#include <thread>

#include "protocol/socket_address_linux.h"
#include "test_server.h"

namespace {

int Listen(int backlog) {
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  const SocketAddress address;
  if (bind(fd, address.get(), address.length) != 0 || listen(fd, backlog) != 0) {
    throw std::runtime_error("cannot serve VesprinePipe: is another display host running?");
  }
  return fd;
}

}  // namespace

struct TestServer::State {
  int listener = Listen(16);
  int client = -1;
  int control[2] = {-1, -1};  // the test writes a command: see Obey
  std::promise<void>* obeyed = nullptr;
  bool paused = false;
  MessageQueue& queue;
  std::atomic<int>& clients;
  std::thread thread;

  State(MessageQueue& messages, std::atomic<int>& accepted) : queue(messages), clients(accepted) {
    if (pipe(control) != 0) throw std::runtime_error("pipe");
  }

  // 'd' drops the client, 'p' pauses reading, 'r' resumes; false for 's' (stop).
  bool Obey(char command) {
    if (command == 's') return false;
    if (command == 'd') CloseClient();
    if (command == 'p' || command == 'r') paused = command == 'p';
    obeyed->set_value();
    return true;
  }

  void Serve() {
    Bytes buffer(kMaxKept);
    for (;;) {
      pollfd fds[2] = {{control[0], POLLIN, 0}, {client >= 0 ? client : listener, POLLIN, 0}};
      if (poll(fds, paused ? 1 : 2, -1) < 0) continue;
      if (fds[0].revents & POLLIN) {
        char command = 's';
        if (read(control[0], &command, 1) != 1 || !Obey(command)) return;
        continue;
      }
      if (client < 0) {
        client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) ++clients;
        continue;
      }
      // Drain what is queued before polling again, so the server keeps ahead
      // of any one client.
      ssize_t n;
      while ((n = recv(client, buffer.data(), buffer.size(), MSG_DONTWAIT)) > 0) {
        queue.Push(buffer.data(), static_cast<size_t>(n));
      }
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) CloseClient();
    }
  }

  void Command(char command) {
    std::promise<void> done;
    obeyed = &done;
    if (write(control[1], &command, 1) == 1) done.get_future().wait();
  }

  void CloseClient() {
    if (client >= 0) close(client);
    client = -1;
  }
};

TestServer::TestServer(bool keep_messages)
    : queue_(keep_messages), state_(std::make_unique<State>(queue_, clients_)) {
  state_->thread = std::thread([s = state_.get()] { s->Serve(); });
}

TestServer::~TestServer() {
  State& s = *state_;
  const char stop = 's';
  if (write(s.control[1], &stop, 1) == 1) s.thread.join();
  s.CloseClient();
  close(s.listener);
  close(s.control[0]);
  close(s.control[1]);
}

void TestServer::Command(char command) { state_->Command(command); }

// A listener that never accepts, its backlog filled with connections.
BusyEndpoint::BusyEndpoint() {
  handles_.push_back(Listen(0));
  const SocketAddress address;
  for (;;) {
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (connect(fd, address.get(), address.length) != 0) {
      close(fd);
      break;
    }
    handles_.push_back(fd);
  }
}

BusyEndpoint::~BusyEndpoint() {
  for (const intptr_t fd : handles_) close(static_cast<int>(fd));
}

const char* GuardedString(size_t size) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t span = (size + page - 1) / page * page;
  auto* base = static_cast<char*>(mmap(nullptr, span + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  if (base == MAP_FAILED || mprotect(base + span, page, PROT_NONE) != 0) throw std::runtime_error("mmap");
  char* string = base + span - size;
  std::memset(string, 'g', size);
  return string;
}

RawClient::RawClient() : handle_(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0)) {
  const SocketAddress address;
  if (handle_ >= 0 && connect(static_cast<int>(handle_), address.get(), address.length) != 0) {
    close(static_cast<int>(handle_));
    handle_ = -1;
  }
}

RawClient::~RawClient() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool RawClient::Connected() const { return handle_ >= 0; }

bool RawClient::Send(const Bytes& message) {
  return send(static_cast<int>(handle_), message.data(), message.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(message.size());
}
