// What the monitor prints of the messages: one line each on standard output,
// as text or as a JSON object, with its bytes in hex when asked, and at the
// end a summary on standard error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "input/decode.h"

// One per process: it buffers standard output, flushed by the caller
// (FlushLines) whenever no message is waiting.
class Printer {
 public:
  Printer(bool json, bool hex);
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;

  // Prints the message of `length` bytes from `client` of which `bytes`
  // holds the first `stored`.
  void Print(int64_t client, const uint8_t* bytes, size_t stored, size_t length);
  // What is kept per client (its encoding) goes with it.
  void Forget(int64_t client) { encodings_.erase(client); }
  // The counts of messages, malformed ones, bytes and each command.
  void Summary() const;
  int64_t messages() const { return messages_; }

 private:
  bool json_, hex_;
  std::map<std::string, int64_t> per_command_;
  int64_t messages_ = 0;
  int64_t malformed_ = 0;
  uint64_t bytes_ = 0;
  std::map<int64_t, Encoding> encodings_;  // per client connected, UTF-8 until it says otherwise
};

// Flushes the lines to standard output. False once a write to it has failed
// (a full disk, a reader gone): said on standard error the first time, with
// the system's reason, and no line written after; the monitor reads on.
bool FlushLines();
