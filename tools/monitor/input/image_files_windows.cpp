// Windows: device namespace and network paths refused by name; an image file
// opened once and checked on its handle (a disk file, not a directory,
// console or pipe).
#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "input/image_files.h"

namespace {

// Closes a handle when it goes out of scope.
struct Handle {
  HANDLE handle;
  ~Handle() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

// Reads from `file` until its end or until `bytes` holds `most` bytes; false on an error.
bool ReadUpTo(HANDLE file, size_t most, std::string& bytes) {
  constexpr size_t kChunk = size_t{1} << 20;
  while (bytes.size() < most) {
    const size_t before = bytes.size();
    bytes.resize(before + std::min(kChunk, most - before));
    DWORD got = 0;
    const BOOL ok = ReadFile(file, bytes.data() + before, static_cast<DWORD>(bytes.size() - before), &got, nullptr);
    bytes.resize(before + got);
    if (!ok) return false;
    if (got == 0) return true;
  }
  return true;
}

}  // namespace

namespace {

bool Slash(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool IsDevicePath(const std::string& path) {
  if (path.size() < 4 || !Slash(path[0]) || !Slash(path[3])) return false;
  return (Slash(path[1]) && (path[2] == '.' || path[2] == '?')) || (path[1] == '?' && path[2] == '?');
}

bool IsNetworkPath(const std::string& path) { return path.size() >= 2 && Slash(path[0]) && Slash(path[1]); }

FileRead ReadRegularFile(const std::string& path, size_t limit, std::string& bytes, FileIdentity& identity) {
  bytes.clear();
  // Backup semantics let a directory open too, so that its handle says what it is.
  const Handle file{CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN,
                                nullptr)};
  if (file.handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::kMissing
                                                                           : FileRead::kUnreadable;
  }
  if (GetFileType(file.handle) != FILE_TYPE_DISK) return FileRead::kNotRegular;
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file.handle, &information)) return FileRead::kUnreadable;
  if (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return FileRead::kNotRegular;
  const uint64_t size = uint64_t{information.nFileSizeHigh} << 32 | information.nFileSizeLow;
  if (size > limit) return FileRead::kTooLarge;
  const FILETIME& written = information.ftLastWriteTime;
  identity = {information.dwVolumeSerialNumber, uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow,
              size, uint64_t{written.dwHighDateTime} << 32 | written.dwLowDateTime};
  // The file may grow while it is read: one byte past the limit tells.
  if (!ReadUpTo(file.handle, limit + 1, bytes)) return FileRead::kUnreadable;
  return bytes.size() > limit ? FileRead::kTooLarge : FileRead::kRead;
}
