#include "input/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string CannotRead(const std::string& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  const std::string start = "cannot read " + path + ": ";
  if (error) return start + error.message();
  if (fs::is_directory(status)) return start + "it is a folder";
  if (fs::is_regular_file(status) && fs::file_size(path, error) == 0 && !error) return start + "it is empty";
  return "";
}

std::string MissingFolder(const std::string& path) {
  std::error_code unknown;
  const fs::path folder = fs::path(path).parent_path();
  if (folder.empty() || fs::exists(folder, unknown)) return "";
  return "cannot write " + path + ": the folder " + folder.string() + " does not exist";
}

std::string CannotWrite(const std::string& path, int error) {
  if (std::string missing = MissingFolder(path); !missing.empty()) return missing;
  std::error_code unknown;
  const std::string start = "cannot write " + path + ": ";
  if (fs::is_directory(path, unknown)) return start + "it is a folder";
  return start + std::strerror(error);
}

std::string WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return CannotWrite(path, errno);
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  int error = errno;
  // What was buffered meets the device only here (a full disk, /dev/full).
  if (std::fclose(file) != 0 && written) written = false, error = errno;
  if (written) return "";
  std::error_code unknown;
  if (fs::is_regular_file(path, unknown)) std::remove(path.c_str());  // never a device
  return CannotWrite(path, error);
}
