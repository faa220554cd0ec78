// Test server on Windows: the message-mode named pipe \\.\pipe\VesprinePipe.
// One client is read at a time while a spare instance stays listening, so a
// client that reconnects is never refused.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "protocol/protocol.h"
#include "test_server.h"

namespace {

HANDLE CreateInstance(DWORD max_instances) {
  return CreateNamedPipeA(kPipeName, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, max_instances, 0, 65536, 0, nullptr);
}

}  // namespace

struct TestServer::State {
  HANDLE listening = CreateInstance(PIPE_UNLIMITED_INSTANCES);
  HANDLE client = INVALID_HANDLE_VALUE;
  HANDLE io = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE control = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<char> command{0};  // announced by `control`: see Obey
  bool paused = false;
  MessageQueue& queue;
  std::atomic<int>& clients;
  std::thread thread;

  State(MessageQueue& messages, std::atomic<int>& accepted) : queue(messages), clients(accepted) {
    if (listening == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create the pipe VesprinePipe");
  }

  // Waits for the overlapped operation on `handle` and sets `ok` to its
  // result. True when the test's command came first (interrupted): the
  // operation is then cancelled, though it may have completed (`ok`) just before.
  bool Interrupted(HANDLE handle, OVERLAPPED& overlapped, DWORD& bytes, BOOL& ok) {
    HANDLE events[2] = {io, control};
    const bool interrupted = WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
    if (interrupted) CancelIo(handle);
    ok = GetOverlappedResult(handle, &overlapped, &bytes, interrupted);
    return interrupted;
  }

  void CloseClient() {
    if (client == INVALID_HANDLE_VALUE) return;
    DisconnectNamedPipe(client);
    CloseHandle(client);
    client = INVALID_HANDLE_VALUE;
  }

  // 'd' drops the client, 'p' pauses reading, 'r' resumes; false for 's' (stop).
  bool Obey() {
    const char c = command;
    if (c == 's') return false;
    if (c == 'd') CloseClient();
    if (c == 'p' || c == 'r') paused = c == 'p';
    SetEvent(done);
    return true;
  }

  void Serve() {
    Bytes buffer(kMaxKept);
    uint64_t reads = 0;
    for (;;) {
      if (paused) {
        WaitForSingleObject(control, INFINITE);
        if (!Obey()) return;
        continue;
      }
      OVERLAPPED overlapped{};
      overlapped.hEvent = io;
      DWORD bytes = 0;
      BOOL ok = FALSE;
      bool interrupted = false;
      if (client == INVALID_HANDLE_VALUE) {
        ResetEvent(io);
        ok = ConnectNamedPipe(listening, &overlapped);
        // A client may have opened the instance first, or even written and left.
        if (!ok && (GetLastError() == ERROR_PIPE_CONNECTED || GetLastError() == ERROR_NO_DATA)) ok = TRUE;
        if (!ok && GetLastError() == ERROR_IO_PENDING) interrupted = Interrupted(listening, overlapped, bytes, ok);
        if (ok) {
          client = listening;
          listening = CreateInstance(PIPE_UNLIMITED_INSTANCES);
          ++clients;
        } else if (!interrupted) {
          DisconnectNamedPipe(listening);
        }
        if (interrupted && !Obey()) return;
        continue;
      }
      // A read that finds a message waiting completes at once and needs no
      // wait; the test's commands are then looked at now and again.
      if (++reads % 64 == 0 && WaitForSingleObject(control, 0) == WAIT_OBJECT_0) {
        if (!Obey()) return;
        continue;
      }
      ok = ReadFile(client, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &overlapped);
      if (ok) {
        ok = GetOverlappedResult(client, &overlapped, &bytes, FALSE);
      } else if (GetLastError() == ERROR_IO_PENDING) {
        interrupted = Interrupted(client, overlapped, bytes, ok);
      }
      if (ok) {
        queue.Push(buffer.data(), bytes);
      } else if (!interrupted) {
        CloseClient();
      }
      if (interrupted && !Obey()) return;
    }
  }

  void Command(char c) {
    command = c;
    SetEvent(control);
    WaitForSingleObject(done, INFINITE);
  }
};

TestServer::TestServer(bool keep_messages)
    : queue_(keep_messages), state_(std::make_unique<State>(queue_, clients_)) {
  state_->thread = std::thread([s = state_.get()] { s->Serve(); });
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

void TestServer::Command(char command) { state_->Command(command); }

// The pipe's one instance, taken by a client of its own.
BusyEndpoint::BusyEndpoint() {
  handles_.push_back(reinterpret_cast<intptr_t>(CreateInstance(1)));
  handles_.push_back(
      reinterpret_cast<intptr_t>(CreateFileA(kPipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)));
}

BusyEndpoint::~BusyEndpoint() {
  for (const intptr_t handle : handles_) CloseHandle(reinterpret_cast<HANDLE>(handle));
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
          CreateFileA(kPipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr))) {}

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
