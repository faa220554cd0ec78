// The live view: serves the page, the pipeline's frames and looks back
// over HTTP and a WebSocket, on a thread of its own. It only reads from
// the pipeline, which the pipe's thread feeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct Pipeline;

constexpr int kMaxPages = 16;        // open live views at once; one more is refused
constexpr int kMaxConnections = 64;  // HTTP connections at once, live views included (fewer with few descriptors)
constexpr int kMaxLooks = 4;         // looks back under way at once (frames, points, pixel histories)

// Whether the view can listen on `address`: an IPv4 or IPv6 address (no brackets).
bool IsIpAddress(const std::string& address);

class View {
 public:
  View();
  ~View();

  // Listens on `address`:`port` (port 0: any free one), showing what
  // `pipeline` draws, which must outlive the view; false with `error` set
  // when it cannot.
  bool Start(const std::string& address, uint16_t port, Pipeline& pipeline, std::string& error);
  // Says on standard error, once started, at which address the page is
  // served, its token included; first a warning when that is beyond
  // loopback.
  void Announce() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
