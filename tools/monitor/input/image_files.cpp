#include "input/image_files.h"

#include <filesystem>

namespace {

// The MIME type that an image file's first bytes announce, or nullptr.
const char* SniffType(const std::string& bytes) {
  if (bytes.rfind("\x89PNG\r\n\x1a\n", 0) == 0) return "image/png";
  if (bytes.rfind("\xff\xd8\xff", 0) == 0) return "image/jpeg";
  if (bytes.rfind("GIF87a", 0) == 0 || bytes.rfind("GIF89a", 0) == 0) return "image/gif";
  if (bytes.rfind("BM", 0) == 0) return "image/bmp";
  return nullptr;
}

// Why a file that could not be read cannot be drawn.
const char* Reason(FileRead read) {
  switch (read) {
    case FileRead::kMissing:
      return "no such file";
    case FileRead::kNotRegular:
      return "not a regular file";
    case FileRead::kTooLarge:
      return "larger than 32 MiB";
    case FileRead::kRead:
    case FileRead::kUnreadable:
      break;
  }
  return "cannot be read";
}

}  // namespace

std::string ResolveImagePath(const std::string& folder, const std::string& path) {
  std::filesystem::path resolved(path);
  if (resolved.is_relative()) resolved = std::filesystem::path(folder) / resolved;
  return resolved.lexically_normal().string();
}

ImageFile ReadImageFile(const std::string& folder, const std::string& path) {
  ImageFile file;
  file.path = ResolveImagePath(folder, path);
  if (IsDevicePath(path) || IsDevicePath(file.path)) {
    file.error = "a device path, not a file";
    return file;
  }
  // The images folder is the user's to choose; a name from a message may not leave the machine.
  if (IsNetworkPath(path)) {
    file.error = "a network path, not a local file";
    return file;
  }
  const FileRead read = ReadRegularFile(file.path, kMaxImageFileBytes, file.bytes, file.identity);
  const char* type = read == FileRead::kRead ? SniffType(file.bytes) : nullptr;
  if (read != FileRead::kRead) {
    file.error = Reason(read);
  } else if (type == nullptr) {
    file.error = "not a PNG, JPEG, BMP or GIF file";
  } else {
    file.type = type;
    return file;
  }
  file.bytes.clear();
  return file;
}
