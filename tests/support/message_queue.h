// The messages a test server has received, handed from its thread to the test.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

using Bytes = std::vector<uint8_t>;

class MessageQueue {
 public:
  explicit MessageQueue(bool keep) : keep_(keep) {}

  void Push(const uint8_t* message, size_t size) {
    {
      std::lock_guard lock(mutex_);
      if (keep_) messages_.emplace_back(message, message + size);
      ++count_;
    }
    ready_.notify_all();
  }

  bool WaitForCount(uint64_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return ready_.wait_for(lock, timeout, [&] { return count_ >= count; });
  }

  std::optional<Bytes> Pop(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, timeout, [this] { return !messages_.empty(); })) return std::nullopt;
    Bytes message = std::move(messages_.front());
    messages_.pop_front();
    return message;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Bytes> messages_;
  const bool keep_;
  uint64_t count_ = 0;
};
