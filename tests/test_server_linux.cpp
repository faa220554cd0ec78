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

#include "message_queue.h"
#include "test_server.h"

struct TestServer::State {
  int listener = -1;
  int client = -1;
  int control[2] = {-1, -1};  // the test writes 'd' (drop) or 's' (stop)
  std::promise<void>* dropped = nullptr;
  std::atomic<int> clients{0};
  MessageQueue queue;

  explicit State(bool keep) : queue(keep) {}
  std::thread thread;

  void Serve() {
    Bytes buffer(70000);
    for (;;) {
      pollfd fds[2] = {{control[0], POLLIN, 0}, {client >= 0 ? client : listener, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) continue;
      if (fds[0].revents & POLLIN) {
        char command = 0;
        if (read(control[0], &command, 1) != 1 || command == 's') return;
        CloseClient();
        dropped->set_value();
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

  void CloseClient() {
    if (client >= 0) close(client);
    client = -1;
  }
};

TestServer::TestServer(bool keep_messages) : state_(std::make_unique<State>(keep_messages)) {
  State& s = *state_;
  s.listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, "VesprinePipe", 12);
  if (bind(s.listener, reinterpret_cast<sockaddr*>(&address), offsetof(sockaddr_un, sun_path) + 13) != 0 ||
      listen(s.listener, 16) != 0 || pipe(s.control) != 0) {
    throw std::runtime_error("cannot serve VesprinePipe: is another display host running?");
  }
  s.thread = std::thread([&s] { s.Serve(); });
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

std::optional<Bytes> TestServer::Next(std::chrono::milliseconds timeout) { return state_->queue.Pop(timeout); }

bool TestServer::WaitForCount(uint64_t count, std::chrono::milliseconds timeout) {
  return state_->queue.WaitForCount(count, timeout);
}

void TestServer::DropClient() {
  std::promise<void> dropped;
  state_->dropped = &dropped;
  const char drop = 'd';
  if (write(state_->control[1], &drop, 1) == 1) dropped.get_future().wait();
}

bool TestServer::WaitForClients(int count) {
  for (int i = 0; i < 10000 && state_->clients < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return state_->clients == count;
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

RawClient::RawClient() {
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, "VesprinePipe", 12);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), offsetof(sockaddr_un, sun_path) + 13) != 0) {
    close(fd);
    handle_ = -1;
    return;
  }
  handle_ = fd;
}

RawClient::~RawClient() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool RawClient::Connected() const { return handle_ >= 0; }

bool RawClient::Send(const Bytes& message) {
  return send(static_cast<int>(handle_), message.data(), message.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(message.size());
}
