// Windows: the inbound message-mode named pipe \\.\pipe\VesprinePipe.
// kListening threads each keep an instance open to clients, and open the
// next as soon as a client has taken theirs: a client opening the pipe finds
// no instance free (and its call fails) only when more than kListening open
// it at the same moment. At most kMaxClients are read at once; one more is
// refused, said on standard error.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdio>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "protocol/protocol.h"
#include "input/server.h"
#include "input/stop.h"

namespace {

constexpr int kMaxClients = 64;  // read at once, a thread each
constexpr int kListening = 8;    // instances open to clients at once

// One handler call at a time. Never destroyed: readers may still wait on it at exit.
std::mutex& handler_mutex = *new std::mutex;
int64_t next_number = 1;      // under handler_mutex
std::atomic<int> readers{0};  // clients being read
// Set when a handler asks to stop serving.
HANDLE stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);

// An instance of the pipe, for clients on this machine only.
HANDLE CreateInstance(DWORD first) {
  return CreateNamedPipeA(kPipeName, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | first,
                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                          PIPE_UNLIMITED_INSTANCES, 0, 65536, 0, nullptr);
}

// Overlapped I/O, waited for at once. Under Wine, blocking pipe calls on these
// threads stalled when the monitor ran with no console (stdin from /dev/null).
class Io {
 public:
  Io() { overlapped_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~Io() { CloseHandle(overlapped_.hEvent); }

  // Connected also when the client opened the instance first, and when it
  // has even written and left already (ERROR_NO_DATA): what it wrote is
  // still there to be read. Neither may be waited for: nothing is pending.
  bool Connect(HANDLE pipe) {
    if (ConnectNamedPipe(pipe, &overlapped_)) return true;
    if (GetLastError() == ERROR_PIPE_CONNECTED || GetLastError() == ERROR_NO_DATA) return true;
    DWORD unused = 0;
    return Finish(pipe, unused);
  }

  // Reads into `buffer`; false with ERROR_MORE_DATA when the message goes on.
  bool Read(HANDLE pipe, std::vector<uint8_t>& buffer, DWORD& got) {
    got = 0;
    if (ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &got, &overlapped_)) return true;
    return Finish(pipe, got);
  }

 private:
  // Waits for a pending operation, or for the count of one that ended with
  // ERROR_MORE_DATA (which then stays the last error).
  bool Finish(HANDLE pipe, DWORD& bytes) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA) return false;
    return GetOverlappedResult(pipe, &overlapped_, &bytes, TRUE);
  }

  OVERLAPPED overlapped_{};
};

void Read(HANDLE pipe, int64_t number, const ServeHandlers& handlers) {
  Io io;
  std::vector<uint8_t> buffer(kMaxKept);
  std::vector<uint8_t> rest(65536);
  for (;;) {
    DWORD got = 0;
    bool ok = io.Read(pipe, buffer, got);
    size_t length = got;
    // A message longer than the buffer: keep its start, count the rest.
    while (!ok && GetLastError() == ERROR_MORE_DATA) {
      ok = io.Read(pipe, rest, got);
      length += got;
    }
    if (!ok) break;
    const std::lock_guard lock(handler_mutex);
    if (WaitForSingleObject(stop_event, 0) == WAIT_OBJECT_0) break;
    if (!handlers.message(number, buffer.data(), std::min(length, buffer.size()), length)) SetEvent(stop_event);
    // Nothing waiting, or the client gone: lines and the session go out now.
    DWORD waiting = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0) handlers.idle();
  }
  if (handlers.client && WaitForSingleObject(stop_event, 0) != WAIT_OBJECT_0 && !Stopping()) {
    const std::lock_guard lock(handler_mutex);
    handlers.client(number, false);
    handlers.idle();
  }
  DisconnectNamedPipe(pipe);
  CloseHandle(pipe);
  --readers;
}

// Hands a connected client to a reader thread of its own; false, said
// once, when `count` (the clients connected, this one with them) is past
// kMaxClients or no thread can start.
bool Accept(HANDLE pipe, int count, const ServeHandlers& handlers) {
  if (count > kMaxClients) {
    std::fprintf(stderr, "vesprine-monitor: refused a client: %d clients are connected, the most served at once\n",
                 kMaxClients);
    return false;
  }
  // Numbered and announced under the lock, so the reader's first message comes after.
  const std::lock_guard lock(handler_mutex);
  try {
    std::thread(Read, pipe, next_number, std::cref(handlers)).detach();
  } catch (const std::system_error& error) {
    std::fprintf(stderr, "vesprine-monitor: refused a client: no thread to read it (%s)\n", error.what());
    return false;
  }
  if (handlers.client) handlers.client(next_number, true);
  ++next_number;
  return true;
}

void Listen(HANDLE pipe, const ServeHandlers& handlers) {
  Io io;
  while (pipe != INVALID_HANDLE_VALUE) {
    // Counted from here, so that serving does not end under a client about to be read.
    const bool connected = io.Connect(pipe);
    const int count = connected ? ++readers : 0;
    const HANDLE next = CreateInstance(0);
    if (!connected || !Accept(pipe, count, handlers)) {
      if (connected) --readers;
      DisconnectNamedPipe(pipe);
      CloseHandle(pipe);
    }
    pipe = next;
  }
}

}  // namespace

ServeResult Serve(const ServeHandlers& handlers) {
  assert(handlers.message && handlers.idle && handlers.ready);
  // Wine does not refuse a first instance of a name already served, so ask
  // whether any instance exists first; FILE_FLAG_FIRST_PIPE_INSTANCE covers the race.
  if (WaitNamedPipeA(kPipeName, 1) || GetLastError() != ERROR_FILE_NOT_FOUND) return ServeResult::kNameInUse;
  const HANDLE first = CreateInstance(FILE_FLAG_FIRST_PIPE_INSTANCE);
  if (first == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_ACCESS_DENIED ? ServeResult::kNameInUse : ServeResult::kFailed;
  }
  std::vector<HANDLE> instances = {first};
  while (instances.size() < kListening) instances.push_back(CreateInstance(0));
  // Ready before the first client is taken: a client that opens an instance meanwhile waits in it.
  handlers.ready();
  for (const HANDLE instance : instances) std::thread(Listen, instance, std::cref(handlers)).detach();
  const HANDLE stops[] = {stop_event, StopEvent()};
  // With `done`, serving ends once it holds and no client has been read
  // for two looks in a row, 50 ms apart: a client that connected just
  // before is handed to its reader by then.
  int quiet = 0;
  while (WaitForMultipleObjects(2, stops, FALSE, handlers.done ? 50 : INFINITE) == WAIT_TIMEOUT) {
    const bool done = handlers.done();
    quiet = done && readers == 0 ? quiet + 1 : 0;
    if (quiet == 2) break;
  }
  // Readers may be mid-call: keep them from the handler once serving stops.
  handler_mutex.lock();
  return ServeResult::kStopped;
}

// Connects as a client, for a moment, to ask the pipe which process serves it.
std::string NameServer() {
  const HANDLE pipe = CreateFileA(kPipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return "";
  ULONG pid = 0;
  const bool known = GetNamedPipeServerProcessId(pipe, &pid);
  CloseHandle(pipe);
  if (!known) return "";
  std::string name;
  if (const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
    char path[MAX_PATH] = "";
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameA(process, 0, path, &size)) name = path;
    CloseHandle(process);
  }
  name = name.substr(name.find_last_of("\\/") + 1);
  return "pid " + std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
}
