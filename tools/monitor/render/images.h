// The image files that messages name, read and decoded off the pipe's
// thread, once: a path keeps the image it had when a message first drew it
// (a file that failed is tried again when named 1,000 messages later or
// more), and the answer for a path at any message stays the same, so that
// looking back shows what was drawn then. A file is decoded once whatever
// name leads to it (a.png, ./a.png), and counted once. Decoded images are
// kept within a bound in bytes and in paths. A path that cannot be drawn is
// said on standard error, once for the process, with the file tried and why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "input/image_files.h"
#include "scene/scene.h"

constexpr size_t kMaxImagePaths = 4096;
constexpr size_t kMaxImageMemory = size_t{256} << 20;  // decoded pixels of all images
constexpr int64_t kImageRetry = 1000;                  // messages before a failed path is tried again
constexpr size_t kMaxImageWarnings = 200;              // paths said on standard error; then one line for the rest

class ImageFiles {
 public:
  // Relative paths are read from `folder`, made absolute now.
  explicit ImageFiles(const std::string& folder);

  // The image at `path` for a message; a path found unreadable is said on
  // standard error after the lock is let go, in one write.
  ImageFound Find(std::string_view path, int64_t message);

 private:
  // Find's answer, and in `warning` the line to say when it is a new failure.
  ImageFound Answer(std::string_view path, int64_t message, std::string& warning);
  ImageFound Load(const std::string& path);

  struct Given {
    int64_t message;
    ImageFound found;
  };
  std::string folder_;
  std::mutex mutex_;
  std::map<std::string, std::vector<Given>, std::less<>> paths_;  // answers by message
  std::map<FileIdentity, ImageFound> files_;                        // each file's decoding, by any name
  size_t bytes_ = 0;
};
