// Serving the pipe name as a display host does, for any number of clients.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// What the server calls, one call at a time: `message`, `idle` and `ready`
// are required, `client` and `done` may be left empty.
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
  // Once the name is served, before any client is taken.
  std::function<void()> ready;
  // When set, asked while no message waits (at least every 50 ms): true
  // once serving may end as soon as no client is connected.
  std::function<bool()> done;
};

enum class ServeResult { kStopped, kNameInUse, kFailed };

// Serves until a handler returns false, `done` says so, or the user
// interrupts (Ctrl-C, SIGTERM).
ServeResult Serve(const ServeHandlers& handlers);

// Who serves the name, when another process does: "pid N (NAME)", or ""
// where that cannot be told.
std::string NameServer();
