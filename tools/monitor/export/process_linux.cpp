// Linux: popen, and SIGPIPE ignored while a command is written to.
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "export/process.h"

bool OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string list = path != nullptr ? path : "";
  for (size_t at = 0; at <= list.size();) {
    const size_t end = std::min(list.find(':', at), list.size());
    const std::filesystem::path file = std::filesystem::path(list.substr(at, end - at)) / name;
    if (end > at && access(file.c_str(), X_OK) == 0) return true;
    at = end + 1;
  }
  return false;
}

std::FILE* OpenCommand(const std::string& command) {
  std::signal(SIGPIPE, SIG_IGN);
  return popen(command.c_str(), "w");
}

bool CloseCommand(std::FILE* command) { return pclose(command) == 0; }

bool ErrorsToTerminal() { return isatty(2) != 0; }
