#include "render/images.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

namespace {

// The paths said to be unreadable, for the whole process: --compare reads
// the images of two sessions, and each is said once.
struct Said {
  std::mutex mutex;
  std::set<std::string> paths;
  bool more = false;  // the line for the paths past the bound was said
};

Said& said() {
  static Said instance;
  return instance;
}

// The line that says `tried` cannot be drawn, or nothing when it was said
// already, or past the bound.
std::string Warning(const std::string& named, const std::string& tried, const std::string& why) {
  Said& s = said();
  const std::lock_guard lock(s.mutex);
  if (s.paths.count(tried)) return {};
  if (s.paths.size() >= kMaxImageWarnings) {
    if (s.more) return {};
    s.more = true;
    return "vesprine-monitor: warning: more images cannot be read; they are not listed\n";
  }
  s.paths.insert(tried);
  std::string line = "vesprine-monitor: warning: cannot read image " + tried + " (" + why + "); drawn as a placeholder";
  if (std::filesystem::path(named).is_relative()) line += "; --images DIR says where relative paths are read from";
  return line + "\n";
}

}  // namespace

ImageFiles::ImageFiles(const std::string& folder) : folder_(folder) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
  if (!error) folder_ = absolute.string();
}

ImageFound ImageFiles::Load(const std::string& path) {
  const ImageFile file = ReadImageFile(folder_, path);
  if (!file.error.empty()) return {nullptr, file.error};
  const auto known = files_.find(file.identity);
  if (known != files_.end()) return known->second;
  ImageFound found;
  found.image = DecodeImage(file.bytes, found.error);
  // Kept as the file's answer too: what is counted is never given back, so
  // the file would only be decoded again, by another name or on a retry.
  if (found.image && bytes_ + found.image->Bytes() > kMaxImageMemory) {
    found = {nullptr, "over the limit of " + std::to_string(kMaxImageMemory >> 20) + " MiB of decoded images"};
  }
  if (found.image) bytes_ += found.image->Bytes();
  files_.emplace(file.identity, found);
  return found;
}

ImageFound ImageFiles::Find(std::string_view path, int64_t message) {
  std::string warning;
  ImageFound found = Answer(path, message, warning);
  // Standard error may be slow, or a pipe nobody drains: no lock is held
  // while it is written to.
  // Flushed: on Windows standard error to a pipe or a file is buffered.
  if (!warning.empty()) {
    std::fwrite(warning.data(), 1, warning.size(), stderr);
    std::fflush(stderr);
  }
  return found;
}

ImageFound ImageFiles::Answer(std::string_view path, int64_t message, std::string& warning) {
  const std::lock_guard lock(mutex_);
  const auto failed = [&](ImageFound found) {
    if (!found.image) warning = Warning(std::string(path), ResolveImagePath(folder_, std::string(path)), found.error);
    return found;
  };
  auto known = paths_.find(path);
  if (known == paths_.end()) {
    if (paths_.size() >= kMaxImagePaths) {
      return failed({nullptr, "more than " + std::to_string(kMaxImagePaths) + " distinct image paths"});
    }
    known = paths_.emplace(std::string(path), std::vector<Given>{}).first;
  }
  std::vector<Given>& answers = known->second;
  // The answer given at or before this message, unless it failed long enough ago.
  const auto after = std::upper_bound(answers.begin(), answers.end(), message,
                                      [](int64_t m, const Given& a) { return m < a.message; });
  if (after != answers.begin()) {
    const Given& last = *(after - 1);
    const bool retry = after == answers.end() && !last.found.image && message - last.message >= kImageRetry;
    if (!retry) return last.found;
  }
  const ImageFound found = Load(known->first);
  answers.insert(after, Given{message, found});
  return failed(found);
}
