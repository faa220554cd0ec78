// A session file: every message the monitor received, byte for byte, with
// its client and arrival time, and when each client came and went, so that
// the session can be replayed later or elsewhere.
//
// Layout, little-endian: the 8-byte magic "VESPSESS", a uint32 version (1),
// then one entry after another, each a 24-byte head (uint32 kind: 0 message,
// 1 client joined, 2 client left; int32 client; int64 time in microseconds
// since the epoch; uint32 length: the message's length as received; uint32
// size: the bytes that follow) and `size` bytes. `size` is below `length`
// only for a message longer than the largest one, of which the first bytes
// were kept.
#pragma once

#include <cstdint>
#include <cstdio>
#include <istream>
#include <string>
#include <vector>

constexpr char kSessionMagic[8] = {'V', 'E', 'S', 'P', 'S', 'E', 'S', 'S'};
constexpr uint32_t kSessionVersion = 1;
constexpr size_t kSessionHeaderSize = 12;
constexpr size_t kEntryHeadSize = 24;

struct SessionEntry {
  enum Kind : uint32_t { kMessage = 0, kJoined = 1, kLeft = 2 };
  Kind kind = kMessage;
  int32_t client = 0;
  int64_t time = 0;     // microseconds since the epoch
  uint32_t length = 0;  // the message's whole length
  std::vector<uint8_t> bytes;
};

// Writes a session, buffered; what is written reaches the file at the latest
// a tenth of a second after it arrived (or at the next Flush).
class SessionWriter {
 public:
  SessionWriter() = default;
  ~SessionWriter();
  SessionWriter(const SessionWriter&) = delete;
  SessionWriter& operator=(const SessionWriter&) = delete;

  // Whether a session can be written to `path`, found without emptying the
  // file (one made to find out is removed again); false with `error` when not.
  static bool Writable(const std::string& path, std::string& error);
  // Creates the file and writes the header; false with `error` when it cannot.
  bool Open(const std::string& path, std::string& error);
  // `client` is kept as its low 32 bits, as the format holds it.
  void Add(SessionEntry::Kind kind, int64_t client, int64_t time, const uint8_t* bytes, size_t size, size_t length);
  void Flush();
  // The first write that failed, once: afterwards the writer writes nothing.
  std::string TakeError();

 private:
  void Check();

  std::vector<char> buffer_ = std::vector<char>(size_t{1} << 18);
  std::FILE* file_ = nullptr;
  std::string path_;
  int64_t flushed_ = 0;  // time of the last flush
  bool failed_ = false;
  std::string error_;
};

// Reads a session entry by entry.
class SessionReader {
 public:
  explicit SessionReader(std::istream& in) : in_(in) {}

  // Reads the header; false with `error` when this is not a session this
  // monitor reads.
  bool Start(std::string& error);
  // The next entry, or false: at the end of the file with `error` empty,
  // else with `error` naming the offset of the entry that cannot be read.
  bool Next(SessionEntry& entry, std::string& error);

 private:
  std::istream& in_;
  uint64_t offset_ = 0;
};
