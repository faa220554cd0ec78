// The session recorded under --record. A file that cannot be written, or a
// write that fails later, is said once; the monitor goes on without
// recording, and exits with status 2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "input/session.h"

class Recording {
 public:
  // Whether a session can be recorded to `path`, found without emptying
  // the file; false, having said why, when not.
  bool Check(const std::string& path);
  // Starts recording to the path checked, emptying the file, unless the
  // check failed (or none was made); said when it cannot.
  void Start();
  void Add(SessionEntry::Kind kind, int64_t client, int64_t time, const uint8_t* bytes, size_t stored, size_t length);
  void Flush();
  // Whether the file could not be written, at the start or since.
  bool failed() const { return failed_; }

 private:
  void Report(const std::string& error);

  SessionWriter writer_;
  std::string path_;
  bool failed_ = false;
};
