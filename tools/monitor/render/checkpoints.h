// What the render stage keeps of the timeline's blocks for looking back,
// by the entry where each block starts: a copy of its scene there at some
// of them (a checkpoint), and the screen each block changed once applied
// whole; and the last point a look back made. A look back reads it with
// the timeline's entries, so that a past point is made from the checkpoint
// before it and never from the start of the session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pixels/box.h"
#include "scene/scene.h"
#include "timeline/timeline.h"

// A message near a point looked at, as the monitor prints it.
struct TimelineLine {
  int64_t message = 0;
  int64_t client = 0;
  std::string line;
};

// What a look at a past point needs.
struct LookSpan {
  int64_t message = 0;  // the point, within [first, last]
  int64_t first = 0;    // the earliest point held (`last` when no checkpoint is)
  int64_t last = 0;     // the latest message
  std::shared_ptr<const Scene> start;  // where the replay starts (its messages count says which message);
                                       // none when no checkpoint is held
  std::vector<std::shared_ptr<const TimelineBlock>> blocks;  // from the start's block on
  std::vector<std::shared_ptr<const Scene>> checkpoints;     // each block's checkpoint, or none
  std::vector<std::optional<Box>> changed;                   // the screen each block changed, when known
  size_t skip = 0;                  // entries of the first block that `start` has applied already
  std::vector<TimelineLine> lines;  // lines before `start` to list, known from the last look back
};

class Checkpoints {
 public:
  // From the renderer: its scene right before entry `at`, where a block starts.
  void Add(int64_t at, std::shared_ptr<const Scene> scene);
  // From the renderer: the block that starts at entry `at`, applied whole,
  // changed the screen within `changed`.
  void Passed(int64_t at, const Box& changed);
  // From the pipe's thread: lets go of all before entry `front`, the first
  // the timeline still holds.
  void Drop(int64_t front);

  // The span for a look at message `message` (brought within what is held),
  // with the `before` messages before it and `after` past it: from the
  // latest start before those, or with `earliest` from the earliest
  // checkpoint held.
  LookSpan Take(Timeline& timeline, int64_t message, int64_t before, int64_t after, bool earliest = false);
  // Keeps a scene a look back made, right after message `messages`, so that
  // a later one (a step forward) starts from there; `entry` is the entry
  // after it, and `lines` the lines it listed.
  void Remember(std::shared_ptr<const Scene> scene, int64_t messages, int64_t entry, std::vector<TimelineLine> lines);

 private:
  // Under the lock: where a look at `span.message` starts (sets all of
  // `span` but its blocks), and in `from` the entry there.
  void Start(LookSpan& span, int64_t front, int64_t message, int64_t before, bool earliest, int64_t& from);

  struct Mark {
    std::shared_ptr<const Scene> scene;
    std::optional<Box> changed;
  };
  std::mutex mutex_;
  int64_t front_ = 0;
  std::map<int64_t, Mark> marks_;  // by the entry where the block starts
  struct Recent {
    std::shared_ptr<const Scene> scene;
    int64_t messages = 0;
    int64_t entry = 0;
    std::vector<TimelineLine> lines;
  } recent_;
};
