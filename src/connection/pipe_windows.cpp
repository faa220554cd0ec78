// Windows: the pipe name is the display host's named pipe \\.\pipe\VesprinePipe,
// opened write-only as a synchronous client.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "connection.h"

namespace PipeConnection {
namespace {

HANDLE pipe = nullptr;

}  // namespace

bool IsOpen() { return pipe != nullptr; }

bool Open() {
  // Identification level only: whoever serves the pipe name may learn who we
  // are but may not act as the host application.
  const HANDLE handle = CreateFileA(kPipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return false;
  pipe = handle;
  return true;
}

bool Close() {
  const BOOL closed = CloseHandle(pipe);
  pipe = nullptr;
  return closed != FALSE;
}

WriteResult Write(const void* head, size_t head_size, const void* tail, size_t tail_size) {
  // A pipe write takes one buffer: a message in two parts is joined on the heap.
  const size_t total = head_size + tail_size;
  char* joined = nullptr;
  if (tail_size != 0) {
    joined = static_cast<char*>(std::malloc(total));
    if (joined == nullptr) return WriteResult::kNoBuffer;
    std::memcpy(joined, head, head_size);
    std::memcpy(joined + head_size, tail, tail_size);
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(pipe, joined != nullptr ? joined : head, static_cast<DWORD>(total), &written, nullptr);
  std::free(joined);
  return ok && written == total ? WriteResult::kWritten : WriteResult::kFailed;
}

}  // namespace PipeConnection

// The loader's notifications need no work: loading does not connect and
// unloading leaves any open handle to the operating system.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
