#include "render/images.h"

#include <algorithm>

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
  const std::lock_guard lock(mutex_);
  auto known = paths_.find(path);
  if (known == paths_.end()) {
    if (paths_.size() >= kMaxImagePaths) {
      return {nullptr, "more than " + std::to_string(kMaxImagePaths) + " distinct image paths"};
    }
    known = paths_.emplace(std::string(path), std::vector<Answer>{}).first;
  }
  std::vector<Answer>& answers = known->second;
  // The answer given at or before this message, unless it failed long enough ago.
  const auto after = std::upper_bound(answers.begin(), answers.end(), message,
                                      [](int64_t m, const Answer& a) { return m < a.message; });
  if (after != answers.begin()) {
    const Answer& last = *(after - 1);
    const bool retry = after == answers.end() && !last.found.image && message - last.message >= kImageRetry;
    if (!retry) return last.found;
  }
  const ImageFound found = Load(known->first);
  answers.insert(after, Answer{message, found});
  return found;
}
