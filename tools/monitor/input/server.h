// Serving the pipe name as a display host does, for any number of clients.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// What the server calls, one call at a time.
struct ServeHandlers {
  // Once per message, in arrival order. `client` numbers the connections
  // from 1. `bytes` holds the first `stored` bytes of the message's `length`
  // (all of them, up to one byte more than the largest message). Returns
  // false to stop serving.
  std::function<bool(int64_t client, const uint8_t* bytes, size_t stored, size_t length)> message;
  // When a client connects (joined) and when it has gone.
  std::function<void(int64_t client, bool joined)> client;
  // When no message is waiting, before the server waits for more.
  std::function<void()> idle;
  // Once the name is served.
  std::function<void()> ready;
};

enum class ServeResult { kStopped, kNameInUse, kFailed };

// Serves until a handler returns false or the user interrupts (Ctrl-C, SIGTERM).
ServeResult Serve(const ServeHandlers& handlers);
