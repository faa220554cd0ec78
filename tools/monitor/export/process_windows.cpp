// Windows: _popen in binary mode, the path searched for NAME.exe.
#include <io.h>

#include <cstdlib>
#include <filesystem>

#include "export/process.h"

bool OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string list = path != nullptr ? path : "";
  for (size_t at = 0; at <= list.size();) {
    const size_t end = std::min(list.find(';', at), list.size());
    std::error_code error;
    if (end > at && std::filesystem::is_regular_file(std::filesystem::path(list.substr(at, end - at)) / (name + ".exe"), error)) {
      return true;
    }
    at = end + 1;
  }
  return false;
}

std::FILE* OpenCommand(const std::string& command) { return _popen(command.c_str(), "wb"); }

bool CloseCommand(std::FILE* command) { return _pclose(command) == 0; }

bool ErrorsToTerminal() { return _isatty(2) != 0; }
