#include "input/files.h"

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
