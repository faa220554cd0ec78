#include "render/checkpoints.h"

#include <algorithm>
#include <utility>

void Checkpoints::Add(int64_t at, std::shared_ptr<const Scene> scene) {
  const std::lock_guard lock(mutex_);
  if (at >= front_) marks_[at].scene = std::move(scene);
}

void Checkpoints::Passed(int64_t at, const Box& changed) {
  const std::lock_guard lock(mutex_);
  if (at >= front_) marks_[at].changed = changed;
}

void Checkpoints::Drop(int64_t front) {
  // The scenes let go of are freed outside the lock.
  std::map<int64_t, Mark> gone;
  std::shared_ptr<const Scene> recent;
  {
    const std::lock_guard lock(mutex_);
    front_ = std::max(front_, front);
    const auto kept = marks_.lower_bound(front_);
    gone.insert(marks_.begin(), kept);
    marks_.erase(marks_.begin(), kept);
    if (recent_.entry < front_) recent = std::exchange(recent_.scene, nullptr);
  }
}

void Checkpoints::Start(LookSpan& span, int64_t front, int64_t message, int64_t before, bool earliest,
                        int64_t& from) {
  auto held = marks_.lower_bound(front);
  while (held != marks_.end() && !held->second.scene) ++held;
  span.first = held == marks_.end() ? span.last : held->second.scene->messages;
  span.message = std::clamp<int64_t>(message, span.first, span.last);
  if (held == marks_.end()) return;
  // From the last checkpoint before the first message to list.
  const int64_t listed = std::max(span.first, span.message - before - 1);
  auto start = held;
  for (auto it = held; !earliest && it != marks_.end(); ++it) {
    if (!it->second.scene) continue;
    if (it->second.scene->messages > listed) break;
    start = it;
  }
  span.start = start->second.scene;
  from = start->first;
  // Or from the last look back's scene, when it lies between the two: the
  // lines it listed cover those before it.
  if (!earliest && recent_.scene && recent_.messages <= span.message && recent_.messages >= span.start->messages &&
      recent_.entry >= from) {
    span.start = recent_.scene;
    from = recent_.entry;
    for (const TimelineLine& line : recent_.lines) {
      if (line.message >= span.message - before && line.message <= recent_.messages) span.lines.push_back(line);
    }
  }
}

LookSpan Checkpoints::Take(Timeline& timeline, int64_t message, int64_t before, int64_t after, bool earliest) {
  // The timeline may let go of the start chosen before its entries are
  // taken: a start is chosen again among what it still holds.
  for (int64_t front = 0;;) {
    LookSpan span;
    span.last = timeline.Messages();
    int64_t from = 0;
    {
      const std::lock_guard lock(mutex_);
      Start(span, front, message, before, earliest, from);
    }
    if (!span.start) return span;
    TimelineSpan entries = timeline.Take(from, span.message + after);
    if (!entries.held) {
      front = entries.front;
      continue;
    }
    span.blocks = std::move(entries.blocks);
    span.skip = entries.skip;
    const std::lock_guard lock(mutex_);
    for (const auto& block : span.blocks) {
      const auto mark = marks_.find(block->entriesBefore);
      span.checkpoints.push_back(mark == marks_.end() ? nullptr : mark->second.scene);
      span.changed.push_back(mark == marks_.end() ? std::nullopt : mark->second.changed);
    }
    return span;
  }
}

void Checkpoints::Remember(std::shared_ptr<const Scene> scene, int64_t messages, int64_t entry,
                           std::vector<TimelineLine> lines) {
  // The scene kept before is freed outside the lock.
  {
    const std::lock_guard lock(mutex_);
    std::swap(recent_.scene, scene);
    recent_.messages = messages;
    recent_.entry = entry;
    recent_.lines = std::move(lines);
  }
}
