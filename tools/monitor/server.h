// Serving the pipe name as a display host does, for any number of clients.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Called once per message, one call at a time, in arrival order. `client`
// numbers the connections from 1. `bytes` holds the first `stored` bytes of
// the message's `length` (all of them, up to one byte more than the largest
// message). Returns false to stop serving.
using MessageHandler = std::function<bool(int client, const uint8_t* bytes, size_t stored, size_t length)>;

enum class ServeResult { kStopped, kNameInUse, kFailed };

// Serves until the handler returns false or the user interrupts (Ctrl-C,
// SIGTERM). `ready` is called once the name is served.
ServeResult Serve(const MessageHandler& handler, const std::function<void()>& ready);
