// Writes the fuzzer's seed corpus: one well-formed message per command.
#include <cstdio>
#include <string>

#include "messages.h"

namespace {

void Write(const std::string& directory, const std::string& name, const Bytes& message) {
  if (FILE* file = std::fopen((directory + "/" + name).c_str(), "wb")) {
    std::fwrite(message.data(), 1, message.size(), file);
    std::fclose(file);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_seeds DIRECTORY\n", stderr);
    return 2;
  }
  const std::string dir = argv[1];
  for (const int32_t code : {1, 2, 4, 5, 9, 12, 13, 15, 16, 17, 18, 19, 26, 29}) {
    Write(dir, "short-" + std::to_string(code), ShortMessage(code, {{at::x, 1}, {at::y, 2}, {at::alpha, 3}}));
  }
  for (const int32_t code : {3, 7, 8, 27}) Write(dir, "text-" + std::to_string(code), TextMessage(code, "a/b.png"));
  for (const int32_t code : {10, 11, 14}) Write(dir, "name-" + std::to_string(code), NameMessage(code, "hero"));
  for (int32_t code = 20; code <= 25; ++code) Write(dir, "log-" + std::to_string(code), LogMessage(code, "caf\xC3\xA9"));
  Write(dir, "utf8", ShortMessage(28, {{at::x, 0}}));
  Write(dir, "shift-jis", ShortMessage(28, {{at::x, 1}}));
  return 0;
}
