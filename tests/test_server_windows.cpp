// Test server on Windows: the message-mode named pipe \\.\pipe\VesprinePipe.
// One client is read at a time while a spare instance stays listening, so a
// client that reconnects is never refused.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "message_queue.h"
#include "test_server.h"

namespace {

HANDLE CreateInstance() {
  return CreateNamedPipeA("\\\\.\\pipe\\VesprinePipe", PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 0,
                          65536, 0, nullptr);
}

}  // namespace

struct TestServer::State {
  HANDLE listening = INVALID_HANDLE_VALUE;
  HANDLE client = INVALID_HANDLE_VALUE;
  HANDLE io = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE control = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<char> command{0};  // 'd' (drop) or 's' (stop), announced by `control`
  std::atomic<int> clients{0};
  MessageQueue queue;

  explicit State(bool keep) : queue(keep) {}
  std::thread thread;

  // Waits for the overlapped operation on `handle`; false when the test
  // interrupted it, with the operation cancelled.
  bool Wait(HANDLE handle, OVERLAPPED& overlapped, DWORD& bytes, BOOL& ok) {
    HANDLE events[2] = {io, control};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
      CancelIo(handle);
      GetOverlappedResult(handle, &overlapped, &bytes, TRUE);
      return false;
    }
    ok = GetOverlappedResult(handle, &overlapped, &bytes, FALSE);
    return true;
  }

  void CloseClient() {
    if (client == INVALID_HANDLE_VALUE) return;
    DisconnectNamedPipe(client);
    CloseHandle(client);
    client = INVALID_HANDLE_VALUE;
  }

  // Acts on the test's command; false when the server is to stop.
  bool Obey() {
    if (command == 's') return false;
    CloseClient();
    SetEvent(done);
    return true;
  }

  void Serve() {
    Bytes buffer(70000);
    uint64_t reads = 0;
    for (;;) {
      OVERLAPPED overlapped{};
      overlapped.hEvent = io;
      DWORD bytes = 0;
      BOOL ok = TRUE;
      if (client == INVALID_HANDLE_VALUE) {
        ResetEvent(io);
        if (!ConnectNamedPipe(listening, &overlapped)) {
          const DWORD error = GetLastError();
          if (error == ERROR_IO_PENDING && !Wait(listening, overlapped, bytes, ok)) {
            if (!Obey()) return;
            continue;
          }
          if (error != ERROR_IO_PENDING && error != ERROR_PIPE_CONNECTED) ok = FALSE;
        }
        if (!ok) {
          DisconnectNamedPipe(listening);
          continue;
        }
        client = listening;
        listening = CreateInstance();
        ++clients;
        continue;
      }
      // A read that finds a message waiting completes at once and needs no
      // wait; the test's commands are then looked at now and again.
      if (++reads % 64 == 0 && WaitForSingleObject(control, 0) == WAIT_OBJECT_0) {
        if (!Obey()) return;
        continue;
      }
      const BOOL at_once = ReadFile(client, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &overlapped);
      if (!at_once && GetLastError() != ERROR_IO_PENDING) {
        CloseClient();
        continue;
      }
      if (at_once) {
        ok = GetOverlappedResult(client, &overlapped, &bytes, FALSE);
      } else if (!Wait(client, overlapped, bytes, ok)) {
        if (!Obey()) return;
        continue;
      }
      if (ok) {
        queue.Push(buffer.data(), bytes);
      } else {
        CloseClient();
      }
    }
  }
};

TestServer::TestServer(bool keep_messages) : state_(std::make_unique<State>(keep_messages)) {
  State& s = *state_;
  s.listening = CreateInstance();
  if (s.listening == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create the pipe VesprinePipe");
  s.thread = std::thread([&s] { s.Serve(); });
}

TestServer::~TestServer() {
  State& s = *state_;
  s.command = 's';
  SetEvent(s.control);
  s.thread.join();
  s.CloseClient();
  CloseHandle(s.listening);
  CloseHandle(s.io);
  CloseHandle(s.control);
  CloseHandle(s.done);
}

std::optional<Bytes> TestServer::Next(std::chrono::milliseconds timeout) { return state_->queue.Pop(timeout); }

bool TestServer::WaitForCount(uint64_t count, std::chrono::milliseconds timeout) {
  return state_->queue.WaitForCount(count, timeout);
}

void TestServer::DropClient() {
  state_->command = 'd';
  SetEvent(state_->control);
  WaitForSingleObject(state_->done, INFINITE);
}

bool TestServer::WaitForClients(int count) {
  for (int i = 0; i < 10000 && state_->clients < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return state_->clients == count;
}

const char* GuardedString(size_t size) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const size_t page = info.dwPageSize;
  const size_t span = (size + page - 1) / page * page;
  auto* base = static_cast<char*>(VirtualAlloc(nullptr, span + page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  DWORD old = 0;
  if (base == nullptr || !VirtualProtect(base + span, page, PAGE_NOACCESS, &old)) throw std::runtime_error("VirtualAlloc");
  char* string = base + span - size;
  std::memset(string, 'g', size);
  return string;
}

RawClient::RawClient()
    : handle_(reinterpret_cast<intptr_t>(
          CreateFileA("\\\\.\\pipe\\VesprinePipe", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr))) {}

RawClient::~RawClient() {
  if (Connected()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool RawClient::Connected() const { return reinterpret_cast<HANDLE>(handle_) != INVALID_HANDLE_VALUE; }

bool RawClient::Send(const Bytes& message) {
  DWORD written = 0;
  return WriteFile(reinterpret_cast<HANDLE>(handle_), message.data(), static_cast<DWORD>(message.size()), &written,
                   nullptr) &&
         written == message.size();
}
