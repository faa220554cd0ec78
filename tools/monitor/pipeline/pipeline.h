// The live view's pipeline, the stage that wires the ones before it: the
// thread that reads the pipe adds each entry to the timeline, the renderer
// applies the entries in order on a thread of its own, and looks back read
// what both keep. Data flows one way: the HTTP side adds no entry; its looks
// back only leave the last point they made with the checkpoints, for the
// next look to start from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "input/session.h"
#include "render/checkpoints.h"
#include "render/images.h"
#include "render/renderer.h"
#include "render/replay.h"
#include "timeline/timeline.h"

struct Pipeline {
  // Relative image paths are read from `images_folder`.
  explicit Pipeline(const std::string& images_folder, size_t bound = kMaxTimelineBytes)
      : timeline(bound), images(images_folder), renderer(timeline, checkpoints, images) {}

  // From the thread that reads the pipe: the entry is kept, and nothing
  // else is done there. `time` in microseconds since the epoch; `bytes` are
  // the `stored` bytes of a message `length` long.
  void Add(SessionEntry::Kind kind, int64_t client, int64_t time, const uint8_t* bytes, size_t stored, size_t length) {
    const int64_t front = timeline.Add(kind, client, time, bytes, stored, length);
    if (front != held) checkpoints.Drop(held = front);
  }

  // The point right after `message`, for a look back; when the timeline
  // holds no checkpoint to make one from, the latest frame drawn (its
  // sprites without their surfaces), with nothing before it to look at.
  Point PointAt(int64_t message, const Gone* gone = nullptr);
  // The history of screen pixel (x, y) up to `message`.
  History PixelHistoryAt(int32_t x, int32_t y, int64_t message, const Gone* gone = nullptr) {
    return PixelHistory(timeline, checkpoints, images, x, y, message, gone);
  }

  Timeline timeline;
  Checkpoints checkpoints;  // the render stage's, for looking back
  ImageFiles images;
  int64_t held = 0;   // the first entry the timeline holds, as the pipe's thread last heard
  Renderer renderer;  // last: it stops first
};
