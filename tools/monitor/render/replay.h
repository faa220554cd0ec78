// Looking back: the scene and picture right after any message, the
// messages around it, and the history of one pixel, each made from the
// checkpoint before it and the timeline's entries after.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pixels/layer.h"
#include "render/checkpoints.h"
#include "render/images.h"
#include "scene/scene.h"
#include "timeline/timeline.h"

constexpr int64_t kAround = 10;            // messages listed on each side of a point
constexpr size_t kMaxHistoryEntries = 1000;  // entries of a pixel's history listed, the latest

// Set when the asker of a look back has left: the look gives up, as it
// does when the monitor stops, and what it made is not to be used.
using Gone = std::atomic<bool>;

// Applies one entry (a message, or a client coming or going) that arrived
// at `time` (microseconds since the epoch): the one way entries reach a
// scene, live, looking back, in exports and in tests.
void ApplyEntry(Scene& scene, SessionEntry::Kind kind, int64_t client, int64_t time,
                const std::vector<uint8_t>& bytes, ImageFiles& images);
// The same for a message already decoded: the image file it draws is read
// first, as of this message. With a `watch`, says there what it did to
// that pixel.
void ApplyDecoded(Scene& scene, int64_t client, const Decoded& decoded, int64_t time, ImageFiles& images,
                  Watch* watch = nullptr);

// The scene without its layers: what the panels show.
Scene Summary(const Scene& scene);

struct Point {
  int64_t message = 0, first = 0, last = 0;
  bool held = false;                   // made; not when the timeline holds no checkpoint to make it from
  std::shared_ptr<const Scene> scene;  // right after `message`, its layers included
  Layer frame;                         // composed
  std::vector<TimelineLine> around;    // messages message - kAround to message + kAround, where they exist
};

// The point right after message `message` (brought within what the
// timeline holds); the last point made is kept for the next to start from.
// Not held (an empty scene and frame) when the timeline holds no checkpoint.
Point MakePoint(Timeline& timeline, Checkpoints& checkpoints, ImageFiles& images, int64_t message,
                const Gone* gone = nullptr);

struct HistoryEntry {
  int64_t message = 0;
  std::string command;     // the export's name
  Pixel colour;            // the composed pixel right after it, as shown (over black)
  bool drew = false;       // it drew on a layer pixel over this one
  int64_t layer = 0;       // which: 0 the screen, else a sprite id,
  std::string spriteName;  // that sprite's name as text,
  int64_t lx = 0, ly = 0;  // and where on it
};

struct History {
  int32_t x = 0, y = 0;
  int64_t message = 0, first = 0, last = 0;
  bool onScreen = true;              // the pixel lies on the screen at the point,
  int32_t width = 0, height = 0;     // the screen's size there
  int64_t total = 0;                 // messages that drew on it or changed it
  std::vector<HistoryEntry> entries;  // the latest kMaxHistoryEntries, latest first
};

// The messages up to `message` that drew on screen pixel (x, y), or changed
// its composed colour otherwise (a sprite moved over it, the background...).
History PixelHistory(Timeline& timeline, Checkpoints& checkpoints, ImageFiles& images, int32_t x, int32_t y,
                     int64_t message, const Gone* gone = nullptr);
