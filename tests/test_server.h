// A display host of the tests' own: serves the pipe name, reads every message
// whole on a thread of its own and queues it for the test.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

using Bytes = std::vector<uint8_t>;

class TestServer {
 public:
  TestServer();
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // The next message received, or nothing after `timeout`.
  std::optional<Bytes> Next(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Closes the server's end of the current client's connection and returns
  // once it is closed; the next client is accepted as usual.
  void DropClient();
  // Waits until `count` clients have been accepted, with a spare connection
  // ready for the next one; false if more or fewer have been after a while.
  bool WaitForClients(int count);

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// `size` bytes of 'g' with no NUL, ending right before an unreadable page:
// reading one byte past them crashes the test.
const char* GuardedString(size_t size);

// Sends each message as it is on a connection of its own, then closes it.
bool SendRaw(const std::vector<Bytes>& messages);
