// Windows: the pipe name is the display host's named pipe \\.\pipe\VesprinePipe,
// opened write-only as a synchronous client.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "connection.h"

namespace PipeConnection {
namespace {

constexpr char kPipeName[] = "\\\\.\\pipe\\VesprinePipe";
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

WriteResult Write(CommandCode code, const void* payload, size_t length) {
  // A pipe write takes one contiguous buffer: records are framed on the
  // stack, only log lines need the heap.
  char stack_buffer[kPrefixSize + kFullRecordSize];
  const size_t total = kPrefixSize + length;
  char* buffer = total <= sizeof(stack_buffer) ? stack_buffer : static_cast<char*>(std::malloc(total));
  if (buffer == nullptr) return WriteResult::kNoBuffer;
  std::memcpy(buffer, &code, kPrefixSize);
  std::memcpy(buffer + kPrefixSize, payload, length);
  DWORD written = 0;
  const BOOL ok = WriteFile(pipe, buffer, static_cast<DWORD>(total), &written, nullptr);
  if (buffer != stack_buffer) std::free(buffer);
  return ok && written == total ? WriteResult::kWritten : WriteResult::kFailed;
}

}  // namespace PipeConnection

// The loader's notifications need no work: loading does not connect and
// unloading leaves any open handle to the operating system.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
