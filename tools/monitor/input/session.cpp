#include "input/session.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "protocol/protocol.h"

namespace {

constexpr int64_t kFlushEvery = 100000;  // microseconds

template <class T>
void Put(uint8_t*& at, T value) {
  std::memcpy(at, &value, sizeof(value));
  at += sizeof(value);
}

template <class T>
T Get(const uint8_t*& at) {
  T value;
  std::memcpy(&value, at, sizeof(value));
  at += sizeof(value);
  return value;
}

std::string NotRecording(const std::string& path, int error) {
  return "cannot write the session to " + path + ": " + std::strerror(error) + "; not recording";
}

// Reads up to `size` bytes; returns how many there were.
size_t ReadSome(std::istream& in, uint8_t* into, size_t size) {
  in.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(size));
  return static_cast<size_t>(in.gcount());
}

}  // namespace

SessionWriter::~SessionWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

bool SessionWriter::Writable(const std::string& path, std::string& error) {
  std::error_code unknown;
  const bool made = !std::filesystem::exists(path, unknown) && !unknown;
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) {
    error = NotRecording(path, errno);
    return false;
  }
  std::fclose(file);
  if (made) std::remove(path.c_str());
  return true;
}

bool SessionWriter::Open(const std::string& path, std::string& error) {
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    error = NotRecording(path, errno);
    return false;
  }
  path_ = path;
  std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
  uint8_t header[kSessionHeaderSize];
  std::memcpy(header, kSessionMagic, sizeof(kSessionMagic));
  uint8_t* at = header + sizeof(kSessionMagic);
  Put(at, kSessionVersion);
  std::fwrite(header, 1, sizeof(header), file_);
  Flush();
  if (failed_) {
    error = TakeError();
    return false;
  }
  return true;
}

void SessionWriter::Add(SessionEntry::Kind kind, int64_t client, int64_t time, const uint8_t* bytes, size_t size,
                        size_t length) {
  if (file_ == nullptr || failed_) return;
  uint8_t head[kEntryHeadSize];
  uint8_t* at = head;
  Put(at, static_cast<uint32_t>(kind));
  Put(at, static_cast<int32_t>(client));
  Put(at, time);
  Put(at, static_cast<uint32_t>(length));
  Put(at, static_cast<uint32_t>(size));
  std::fwrite(head, 1, sizeof(head), file_);
  if (size > 0) std::fwrite(bytes, 1, size, file_);
  Check();
  if (time - flushed_ >= kFlushEvery) {
    flushed_ = time;
    Flush();
  }
}

void SessionWriter::Flush() {
  if (file_ == nullptr || failed_) return;
  std::fflush(file_);
  Check();
}

void SessionWriter::Check() {
  if (failed_ || !std::ferror(file_)) return;
  failed_ = true;
  error_ = "cannot write the session to " + path_ + ": " + std::strerror(errno) + "; recording stopped";
}

std::string SessionWriter::TakeError() { return std::exchange(error_, std::string()); }

bool SessionReader::Start(std::string& error) {
  uint8_t header[kSessionHeaderSize];
  const size_t got = ReadSome(in_, header, sizeof(header));
  if (got < sizeof(kSessionMagic) || std::memcmp(header, kSessionMagic, sizeof(kSessionMagic)) != 0) {
    error = "not a vesprine-monitor session: no session magic at offset 0";
    return false;
  }
  if (got < sizeof(header)) {
    error = "the session ends inside its header, at offset " + std::to_string(got);
    return false;
  }
  const uint8_t* at = header + sizeof(kSessionMagic);
  const auto version = Get<uint32_t>(at);
  if (version != kSessionVersion) {
    error = "a session of version " + std::to_string(version) + " (at offset 8); this monitor reads version " +
            std::to_string(kSessionVersion);
    return false;
  }
  offset_ = sizeof(header);
  return true;
}

bool SessionReader::Next(SessionEntry& entry, std::string& error) {
  error.clear();
  const std::string where = "the entry at offset " + std::to_string(offset_);
  uint8_t head[kEntryHeadSize];
  const size_t got = ReadSome(in_, head, sizeof(head));
  if (got == 0) return false;
  if (got < sizeof(head)) {
    error = "the session is cut off inside " + where + " (" + std::to_string(got) + " of its " +
            std::to_string(kEntryHeadSize) + "-byte head)";
    return false;
  }
  const uint8_t* at = head;
  const auto kind = Get<uint32_t>(at);
  entry.client = Get<int32_t>(at);
  entry.time = Get<int64_t>(at);
  entry.length = Get<uint32_t>(at);
  const auto size = Get<uint32_t>(at);
  if (kind > SessionEntry::kLeft) {
    error = where + " is corrupt: unknown kind " + std::to_string(kind);
    return false;
  }
  entry.kind = static_cast<SessionEntry::Kind>(kind);
  if (size > kMaxKept || size > entry.length || (entry.kind != SessionEntry::kMessage && entry.length != 0) ||
      (size < entry.length && size != kMaxKept)) {
    error = where + " is corrupt: size " + std::to_string(size) + " and length " + std::to_string(entry.length) +
            " do not fit a message (at most " + std::to_string(kMaxKept) + " bytes are kept)";
    return false;
  }
  entry.bytes.resize(size);
  const size_t read = ReadSome(in_, entry.bytes.data(), size);
  if (read < size) {
    error = "the session is cut off inside " + where + " (" + std::to_string(read) + " of its " +
            std::to_string(size) + " bytes)";
    return false;
  }
  offset_ += kEntryHeadSize + size;
  return true;
}
