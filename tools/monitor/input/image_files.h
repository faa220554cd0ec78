// Image files as the display host reads them: a name resolved against the
// images folder, the file opened once and every check made on what was
// opened, never on the name again: only a regular file, of at most 32 MiB,
// of a known type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>

constexpr size_t kMaxImageFileBytes = size_t{32} << 20;

// Which file was read, whatever name led to it: its device and number (on
// Windows the volume's serial number and the file index), with its size and
// the time of its last change, so that a file rewritten, or a new file given
// a number freed, is another.
struct FileIdentity {
  uint64_t device = 0, file = 0, size = 0, changed = 0;
  friend bool operator<(const FileIdentity& a, const FileIdentity& b) {
    return std::tie(a.device, a.file, a.size, a.changed) < std::tie(b.device, b.file, b.size, b.changed);
  }
};

// An image file read: where it was looked for, and its bytes and MIME type,
// or why it cannot be drawn.
struct ImageFile {
  std::string path;   // `path` resolved against the folder when relative, lexically normal
  std::string bytes;  // the whole file; empty unless `error` is
  std::string type;   // "image/png", "image/jpeg", "image/bmp" or "image/gif"
  std::string error;  // empty, or why: "no such file", "not a regular file", "larger than 32 MiB", ...
  FileIdentity identity;  // of the file read, when `error` is empty
};

// Where the image file at `path` is looked for: relative paths against
// `folder`, lexically normal.
std::string ResolveImagePath(const std::string& folder, const std::string& path);

// Reads the image file at `path`, relative paths against `folder`. Reads at
// most one byte more than the limit; a FIFO or a device never blocks it.
ImageFile ReadImageFile(const std::string& folder, const std::string& path);

// What each platform's file provides.

// Why opening a file can fail, or what it turned out to be.
enum class FileRead { kRead, kMissing, kNotRegular, kTooLarge, kUnreadable };

// Whether `path` names a device namespace (on Windows \\.\, \\?\ or the NT
// prefix \??\) rather than a file.
bool IsDevicePath(const std::string& path);

// Whether `path` names a file on another machine (on Windows \\host\share,
// with either slash), which opening would offer the user's credentials.
bool IsNetworkPath(const std::string& path);

// Opens `path` once and, if it is a regular file of at most `limit` bytes,
// reads it into `bytes`, never more than `limit` + 1 bytes, and says which
// file it is in `identity`.
FileRead ReadRegularFile(const std::string& path, size_t limit, std::string& bytes, FileIdentity& identity);
