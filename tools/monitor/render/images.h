// The image files that messages name, read and decoded off the pipe's
// thread, once: a path keeps the image it had when a message first drew it
// (a file that failed is tried again when named 1,000 messages later or
// more), and the answer for a path at any message stays the same, so that
// looking back shows what was drawn then. A file is decoded once whatever
// name leads to it (a.png, ./a.png), and counted once. Decoded images are
// kept within a bound in bytes and in paths.
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

class ImageFiles {
 public:
  // Relative paths are read from `folder`.
  explicit ImageFiles(std::string folder) : folder_(std::move(folder)) {}

  ImageFound Find(std::string_view path, int64_t message);
  ImageSource Source() {
    return [this](std::string_view path, int64_t message) { return Find(path, message); };
  }

 private:
  ImageFound Load(const std::string& path);

  struct Answer {
    int64_t message;
    ImageFound found;
  };
  std::string folder_;
  std::mutex mutex_;
  std::map<std::string, std::vector<Answer>, std::less<>> paths_;  // answers by message
  std::map<FileIdentity, ImageFound> files_;                        // each file's decoding, by any name
  size_t bytes_ = 0;
};
