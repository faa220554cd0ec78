#include "input/recording.h"

#include <cstdio>

bool Recording::Check(const std::string& path) {
  std::string error;
  if (!SessionWriter::Writable(path, error)) Report(error);
  path_ = path;
  return !failed_;
}

void Recording::Start() {
  std::string error;
  if (!path_.empty() && !failed_ && !writer_.Open(path_, error)) Report(error);
}

void Recording::Add(SessionEntry::Kind kind, int64_t client, int64_t time, const uint8_t* bytes, size_t stored,
                    size_t length) {
  writer_.Add(kind, client, time, bytes, stored, length);
  Report(writer_.TakeError());
}

void Recording::Flush() {
  writer_.Flush();
  Report(writer_.TakeError());
}

void Recording::Report(const std::string& error) {
  if (error.empty()) return;
  std::fprintf(stderr, "vesprine-monitor: %s\n", error.c_str());
  failed_ = true;
}
