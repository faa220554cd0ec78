// A display host of the tests' own: serves the pipe name, reads every message
// whole on a thread of its own and queues it for the test (or only counts it).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "message_queue.h"

class TestServer {
 public:
  explicit TestServer(bool keep_messages = true);
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // The next message received, or nothing after `timeout`.
  std::optional<Bytes> Next(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return queue_.Pop(timeout);
  }
  // Waits until `count` messages have arrived in all; false after `timeout`.
  bool WaitForCount(uint64_t count, std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    return queue_.WaitForCount(count, timeout);
  }
  // Closes the server's end of the current client's connection and returns
  // once it is closed; the next client is accepted as usual.
  void DropClient() { Command('d'); }
  // Stops reading, so writers block once the transport's buffer is full;
  // Resume reads on.
  void Pause() { Command('p'); }
  void Resume() { Command('r'); }
  // Waits until `count` clients have been accepted, with a spare connection
  // ready for the next one; false if more or fewer have been after a while.
  bool WaitForClients(int count) {
    for (int i = 0; i < 10000 && clients_ < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return clients_ == count;
  }

  struct State;

 private:
  // Has the server's thread obey `command` (see State::Obey), and returns once it has.
  void Command(char command);

  MessageQueue queue_;
  std::atomic<int> clients_{0};  // accepted so far
  std::unique_ptr<State> state_;
};

// The pipe name served with no room for another client: on Windows its one
// instance taken, on Linux a listener's backlog full.
class BusyEndpoint {
 public:
  BusyEndpoint();
  ~BusyEndpoint();
  BusyEndpoint(const BusyEndpoint&) = delete;
  BusyEndpoint& operator=(const BusyEndpoint&) = delete;

 private:
  std::vector<intptr_t> handles_;
};

// `size` bytes of 'g' with no NUL, ending right before an unreadable page:
// reading one byte past them crashes the test.
const char* GuardedString(size_t size);

// A connection of its own that writes bytes as they are: the bare transport.
class RawClient {
 public:
  RawClient();
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Connected() const;
  // One write of the whole message; false when it failed or fell short.
  bool Send(const Bytes& message);

 private:
  intptr_t handle_;
};

