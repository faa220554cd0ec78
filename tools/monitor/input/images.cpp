#include "input/images.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

// The MIME type that an image file's first bytes announce, or nullptr.
const char* SniffType(const std::string& head) {
  if (head.rfind("\x89PNG\r\n\x1a\n", 0) == 0) return "image/png";
  if (head.rfind("\xff\xd8\xff", 0) == 0) return "image/jpeg";
  if (head.rfind("GIF87a", 0) == 0 || head.rfind("GIF89a", 0) == 0) return "image/gif";
  if (head.rfind("BM", 0) == 0) return "image/bmp";
  return nullptr;
}

// Why the file at `path` cannot be served, or an empty string; on success
// `type` holds its MIME type.
std::string Examine(const std::filesystem::path& path, const char*& type) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) return "no such file";
  if (!std::filesystem::is_regular_file(status)) return "not a regular file";
  const auto size = std::filesystem::file_size(path, error);
  if (error) return "cannot be read";
  if (size > kMaxImageBytes) return "larger than " + std::to_string(kMaxImageBytes >> 20) + " MiB";
  std::ifstream file(path, std::ios::binary);
  std::string head(8, '\0');
  if (!file.read(head.data(), static_cast<std::streamsize>(head.size()))) return "cannot be read";
  type = SniffType(head);
  if (type == nullptr) return "not a PNG, JPEG, BMP or GIF file";
  return "";
}

}  // namespace

ImageCheck CheckImage(const std::string& folder, const std::string& path) {
  std::filesystem::path resolved(path);
  if (resolved.is_relative()) resolved = std::filesystem::path(folder) / resolved;
  resolved = resolved.lexically_normal();
  const char* type = nullptr;
  return {resolved.string(), Examine(resolved, type)};
}

bool ReadImage(const std::string& path, std::string& bytes, std::string& type) {
  const char* sniffed = nullptr;
  if (!Examine(path, sniffed).empty()) return false;
  std::ifstream file(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(file), {});
  // The file may have changed since it was examined.
  if (bytes.size() > kMaxImageBytes || SniffType(bytes.substr(0, 8)) == nullptr) return false;
  type = SniffType(bytes.substr(0, 8));
  return true;
}
