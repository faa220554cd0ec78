// The render thread: applies the timeline's entries to the live scene in
// order, leaves checkpoints of it for looking back, and composes frames, at
// most 60 a second, of the tiles that changed. It never holds up the pipe's
// thread: they share only the timeline's and the checkpoints' short locks.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "pixels/layer.h"
#include "render/checkpoints.h"
#include "render/images.h"
#include "scene/scene.h"
#include "timeline/timeline.h"

// A composed picture and the scene it shows, right after message `message`.
struct Rendered {
  int64_t message = 0;
  int64_t received = 0;  // the messages received by then: more than `message` while drawing lags
  int64_t first = 0;     // the earliest message that can be looked back at
  std::shared_ptr<const Scene> scene;
  Layer frame;  // the composed screen, its size the resolution
};

class Renderer {
 public:
  Renderer(Timeline& timeline, Checkpoints& checkpoints, ImageFiles& images);
  ~Renderer();

  void Start();
  void Stop();
  // The latest frame composed.
  std::shared_ptr<const Rendered> Latest();
  // Messages applied so far.
  int64_t Applied() const { return applied_.load(std::memory_order_relaxed); }

 private:
  void Run();
  // Applies the entries of `run`, leaving checkpoints where due.
  void Apply(const EntryRun& run);
  void Publish();

  Timeline& timeline_;
  Checkpoints& checkpoints_;
  ImageFiles& images_;
  Scene scene_;
  Layer frame_{640, 480};
  int64_t position_ = 0;   // entries applied
  int64_t block_ = -1;     // the entry where the block being applied starts
  int64_t held_ = 0;       // the earliest message the timeline holds
  bool dirty_ = false;     // entries applied since the last frame
  std::atomic<bool> running_{false};
  std::atomic<int64_t> applied_{0};
  std::thread thread_;
  std::mutex latest_mutex_;
  std::shared_ptr<const Rendered> latest_;
};


// Tiles a scene's layers hold alone, shared with no checkpoint: what one
// more checkpoint of it costs. Tiles made and dropped since the last one
// (a layer cleared, a sprite re-created) cost nothing.
size_t UnsharedTiles(const Scene& scene);
