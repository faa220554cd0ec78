// Image files as the display host reads them: names resolved against the
// images folder, and only regular files of a known type and bounded size.
#pragma once

#include <string>


// The result of looking at an image file: its resolved path, and why it
// cannot be drawn (empty when it can).
struct ImageCheck {
  std::string path;
  std::string error;
};

constexpr size_t kMaxImageBytes = size_t{32} << 20;

// `path` resolved against `folder` when relative, and whether it can be drawn.
ImageCheck CheckImage(const std::string& folder, const std::string& path);

// Reads the image at a resolved path: its bytes and MIME type, or false.
bool ReadImage(const std::string& path, std::string& bytes, std::string& type);
