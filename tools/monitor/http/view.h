// The live view: keeps the timeline of every message, renders it on a
// thread of its own, and serves the page, its frames and looks back over
// HTTP and a WebSocket, on a thread of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

constexpr int kMaxPages = 16;        // open live views at once; one more is refused
constexpr int kMaxConnections = 64;  // HTTP connections at once, live views included (fewer with few descriptors)
constexpr int kMaxLooks = 4;         // looks back under way at once (frames, points, pixel histories)

// Whether the view can listen on `address`: an IPv4 or IPv6 address (no brackets).
bool IsIpAddress(const std::string& address);

class View {
 public:
  View();
  ~View();

  // Listens on `address`:`port` (port 0: any free one); false with `error`
  // set when it cannot. Relative image paths are read from `images`.
  bool Start(const std::string& address, uint16_t port, const std::string& images, std::string& error);
  // Says on standard error, once started, at which address the page is
  // served, its token included; first a warning when that is beyond
  // loopback.
  void Announce() const;

  // From the thread that reads the pipe: the entry is kept, and nothing
  // else is done there. `time` in microseconds since the epoch; `bytes` are
  // the `stored` bytes of a message `length` long.
  void OnMessage(int64_t client, const uint8_t* bytes, size_t stored, size_t length, int64_t time);
  void OnClient(int64_t client, bool joined, int64_t time);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
