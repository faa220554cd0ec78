// Linux: an image file opened without blocking (a FIFO would wait for a
// writer) and checked with fstat on the descriptor opened.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "input/image_files.h"

namespace {

// Closes a descriptor when it goes out of scope.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

// Reads from `fd` until its end or until `bytes` holds `most` bytes; false on an error.
bool ReadUpTo(int fd, size_t most, std::string& bytes) {
  constexpr size_t kChunk = size_t{1} << 20;
  while (bytes.size() < most) {
    const size_t before = bytes.size();
    bytes.resize(before + std::min(kChunk, most - before));
    const ssize_t got = read(fd, bytes.data() + before, bytes.size() - before);
    bytes.resize(before + static_cast<size_t>(std::max<ssize_t>(got, 0)));
    if (got == 0) return true;
    if (got < 0 && errno != EINTR) return false;
  }
  return true;
}

}  // namespace

bool IsDevicePath(const std::string&) { return false; }

bool IsNetworkPath(const std::string&) { return false; }

FileRead ReadRegularFile(const std::string& path, size_t limit, std::string& bytes, FileIdentity& identity) {
  bytes.clear();
  const Descriptor file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
  if (file.fd < 0) return errno == ENOENT || errno == ENOTDIR ? FileRead::kMissing : FileRead::kUnreadable;
  struct stat status {};
  if (fstat(file.fd, &status) != 0) return FileRead::kUnreadable;
  if (!S_ISREG(status.st_mode)) return FileRead::kNotRegular;
  if (static_cast<unsigned long long>(status.st_size) > limit) return FileRead::kTooLarge;
  const auto changed = uint64_t(status.st_ctim.tv_sec) * 1'000'000'000 + uint64_t(status.st_ctim.tv_nsec);
  identity = {status.st_dev, status.st_ino, uint64_t(status.st_size), changed};
  // The file may grow while it is read: one byte past the limit tells.
  if (!ReadUpTo(file.fd, limit + 1, bytes)) return FileRead::kUnreadable;
  return bytes.size() > limit ? FileRead::kTooLarge : FileRead::kRead;
}
