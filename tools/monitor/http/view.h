// The live view: keeps the scene that the messages build, serves the page
// and streams the scene to every open page, on a thread of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "input/decode.h"

constexpr int kMaxPages = 16;  // open live views at once; one more is refused

class View {
 public:
  View();
  ~View();

  // Listens on `address`:`port` (port 0: any free one); false with `error` set
  // when it cannot. Images are read from `images`.
  bool Start(const std::string& address, uint16_t port, const std::string& images, std::string& error);
  // The page's address, once started.
  std::string Url() const;

  // From the thread that reads the pipe: never waits for a page.
  // `time` in microseconds since the epoch; `bytes` are the `stored` bytes
  // of a message `length` long, which `decoded` reads.
  void OnMessage(int client, const uint8_t* bytes, size_t stored, size_t length, const Decoded& decoded,
                 int64_t time);
  void OnClient(int client, bool joined, int64_t time);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
