#include "render/renderer.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "input/stop.h"
#include "render/priority.h"
#include "render/replay.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFrame = std::chrono::microseconds(16667);  // 60 frames a second at most
constexpr size_t kRunEntries = 1024;                      // entries taken from the timeline at once
constexpr auto kGather = std::chrono::milliseconds(4);     // caught up, the entries gather this long at most

}  // namespace

size_t UnsharedTiles(const Scene& scene) {
  size_t tiles = scene.screen.UnsharedTiles();
  for (const Sprite& sprite : scene.sprites) tiles += sprite.layer.UnsharedTiles();
  return tiles;
}

Renderer::Renderer(Timeline& timeline, Checkpoints& checkpoints, ImageFiles& images)
    : timeline_(timeline), checkpoints_(checkpoints), images_(images) {
  Publish();
}

Renderer::~Renderer() { Stop(); }

void Renderer::Start() {
  running_ = true;
  thread_ = std::thread([this] { Run(); });
}

void Renderer::Stop() {
  running_ = false;
  timeline_.Release();
  timeline_.Wake();
  if (thread_.joinable()) thread_.join();
}

std::shared_ptr<const Rendered> Renderer::Latest() {
  const std::lock_guard lock(latest_mutex_);
  return latest_;
}

void Renderer::Run() {
  RunBelowThePipe();
  EntryRun run;
  auto last = Clock::now();
  while (running_ && !Stopping()) {
    timeline_.Read(position_, kRunEntries, run);
    Apply(run);
    if (!run.heads.empty()) held_ = run.held;
    // A frame when one is due and something changed, or when the entries
    // have run out.
    dirty_ = dirty_ || !run.heads.empty();
    if (dirty_ && (run.heads.empty() || Clock::now() - last >= kFrame) && !Stopping()) {
      // Frames a steady 1/60 s apart, however long composing took.
      last = Clock::now();
      dirty_ = false;
      Publish();
    }
    // Caught up with the pipe: the entries gather a little (never past the
    // next frame's time), rather than the thread waking, locking and copying
    // for each one.
    if (!run.heads.empty() && run.heads.size() < kRunEntries) {
      std::this_thread::sleep_until(std::min(Clock::now() + kGather, last + kFrame));
    }
  }
  // Stopping: the pipe's thread must not wait for entries to be rendered.
  timeline_.Release();
}

void Renderer::Apply(const EntryRun& run) {
  std::vector<uint8_t> bytes;
  const uint8_t* kept = run.bytes.data();
  size_t next_start = 0;
  for (size_t i = 0; i < run.heads.size() && running_ && !Stopping(); ++i) {
    if (next_start < run.blockStarts.size() && run.blockStarts[next_start] == i) {
      ++next_start;
      const Box changed = std::exchange(scene_.changed, Box{});
      if (block_ >= 0) checkpoints_.Passed(block_, changed);
      block_ = position_;
      const size_t cost = UnsharedTiles(scene_) * kTileBytes + SceneBytes(scene_);
      if (timeline_.CheckpointDue(position_, cost)) {
        // Kept before the timeline counts it: a look back never misses one counted.
        checkpoints_.Add(position_, std::make_shared<const Scene>(scene_));
        timeline_.Checkpoint(position_, cost);
      }
    }
    const EntryHead& head = run.heads[i];
    Expand(head, kept, bytes);
    kept += head.Kept();
    ApplyEntry(scene_, head.kind, head.client, head.time, bytes, images_);
    ++position_;
    applied_.store(scene_.messages, std::memory_order_relaxed);
  }
}

void Renderer::Publish() {
  auto rendered = std::make_shared<Rendered>();
  ComposeDamage(scene_, frame_);
  if (Stopping()) return;  // composed in part, perhaps
  rendered->message = scene_.messages;
  rendered->received = timeline_.Messages();
  rendered->first = held_;
  rendered->scene = std::make_shared<const Scene>(Summary(scene_));
  rendered->frame = frame_;
  const std::lock_guard lock(latest_mutex_);
  latest_ = std::move(rendered);
}
