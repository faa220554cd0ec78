// The messages a test server has received, handed from its thread to the test.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "test_server.h"

class MessageQueue {
 public:
  void Push(Bytes message) {
    {
      std::lock_guard lock(mutex_);
      messages_.push_back(std::move(message));
    }
    ready_.notify_all();
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
};
