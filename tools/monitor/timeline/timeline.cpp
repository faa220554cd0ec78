#include "timeline/timeline.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "protocol/protocol.h"

namespace {

// Where the longest run of zero bytes starts, and its length; zeros are
// compared 64 bytes at a time.
std::pair<size_t, size_t> LongestZeroRun(const uint8_t* bytes, size_t size) {
  static constexpr uint8_t kZeros[64] = {};
  size_t best = 0, length = 0;
  for (size_t i = 0; i < size;) {
    while (i < size && bytes[i] != 0) ++i;
    const size_t start = i;
    while (i + sizeof(kZeros) <= size && std::memcmp(bytes + i, kZeros, sizeof(kZeros)) == 0) i += sizeof(kZeros);
    while (i < size && bytes[i] == 0) ++i;
    if (i - start > length) {
      best = start;
      length = i - start;
    }
  }
  return {best, length};
}

}  // namespace

void Expand(const EntryHead& head, const uint8_t* kept, std::vector<uint8_t>& bytes) {
  bytes.resize(head.size);
  // `kept` is null where a block holds no bytes yet (joins, leaves, messages all zeros).
  const size_t rest = head.size - head.gap - head.zeros;
  if (head.gap) std::memcpy(bytes.data(), kept, head.gap);
  if (head.zeros) std::memset(bytes.data() + head.gap, 0, head.zeros);
  if (rest) std::memcpy(bytes.data() + head.gap + head.zeros, kept + head.gap, rest);
}

int64_t Timeline::Add(SessionEntry::Kind kind, int64_t client, int64_t time, const uint8_t* bytes, size_t size,
                      size_t length) {
  const auto [gap, zeros] = LongestZeroRun(bytes, size);
  std::unique_lock lock(mutex_);
  // Past the bound with nothing the renderer has passed to let go of, the
  // pipe waits for the renderer.
  progress_.wait(lock, [&] { return released_ || bytes_ <= bound_ || rendered_ >= entries_; });
  if (sealed_) {
    auto block = std::make_shared<TimelineBlock>();
    block->messagesBefore = messages_;
    block->entriesBefore = entries_;
    // Reserved once, as much as the last full block held and a little more:
    // a block that grew by doubling would touch twice its memory.
    block->heads.reserve(kBlockEntries);
    block->bytes.reserve(std::min(lastBlockBytes_ / 4 * 5 + 4096, kBlockBytes + kMaxMessageSize));
    blocks_.push_back(std::move(block));
    sealed_ = false;
  }
  TimelineBlock& block = *blocks_.back();
  block.heads.push_back({kind, client, time, static_cast<uint32_t>(length), static_cast<uint32_t>(size),
                         static_cast<uint32_t>(gap), static_cast<uint32_t>(zeros)});
  block.bytes.insert(block.bytes.end(), bytes, bytes + gap);
  block.bytes.insert(block.bytes.end(), bytes + gap + zeros, bytes + size);
  const size_t cost = sizeof(EntryHead) + size - zeros;
  block.accounted += cost;
  bytes_ += cost;
  ++entries_;
  if (kind == SessionEntry::kMessage) ++messages_;
  if (block.heads.size() >= kBlockEntries || block.bytes.size() >= kBlockBytes) {
    lastBlockBytes_ = block.bytes.size();
    Seal();
  }
  Trim();
  const int64_t front = Front();
  lock.unlock();
  progress_.notify_all();
  return front;
}

void Timeline::Release() {
  {
    const std::lock_guard lock(mutex_);
    released_ = true;
  }
  progress_.notify_all();
}

// A block sealed with few bytes gives back what it had reserved.
void Timeline::Seal() {
  if (sealed_) return;
  sealed_ = true;
  TimelineBlock& block = *blocks_.back();
  if (block.bytes.size() < kBlockBytes / 2) {
    block.heads.shrink_to_fit();
    block.bytes.shrink_to_fit();
  }
}

// Over the bound, the oldest blocks go, up to the next checkpoint the
// renderer has passed, so that the first block left begins with one. With
// no such checkpoint (the scene too large to keep a copy of), the blocks
// the renderer is done with go all the same, and looking back before the
// next checkpoint with them.
void Timeline::Trim() {
  while (bytes_ > bound_) {
    auto next = std::find_if(blocks_.begin() + 1, blocks_.end(), [&](auto& b) {
      return checkpoints_.count(b->entriesBefore) && b->entriesBefore <= rendered_;
    });
    if (next == blocks_.end()) {
      next = std::find_if(blocks_.begin(), blocks_.end(), [&](auto& b) {
        return b->entriesBefore + int64_t(b->heads.size()) > rendered_ || (b == blocks_.back() && !sealed_);
      });
    }
    if (next == blocks_.begin()) return;
    for (auto it = blocks_.begin(); it != next; ++it) bytes_ -= (*it)->accounted;
    blocks_.erase(blocks_.begin(), next);
    const auto kept = checkpoints_.lower_bound(Front());
    for (auto it = checkpoints_.begin(); it != kept; ++it) bytes_ -= it->second;
    checkpoints_.erase(checkpoints_.begin(), kept);
  }
}

int64_t Timeline::Front() const { return blocks_.empty() ? entries_ : blocks_.front()->entriesBefore; }

size_t Timeline::Index(int64_t entry) const {
  const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), entry,
                                      [](int64_t e, const auto& b) { return e < b->entriesBefore; });
  return after == blocks_.begin() ? 0 : size_t(after - blocks_.begin()) - 1;
}

void Timeline::Read(int64_t from, size_t most, EntryRun& run) {
  run.heads.clear();
  run.bytes.clear();
  run.blockStarts.clear();
  std::unique_lock lock(mutex_);
  rendered_ = std::max(rendered_, from);
  progress_.notify_all();
  progress_.wait_for(lock, std::chrono::milliseconds(50), [&] { return entries_ > from || released_; });
  if (blocks_.empty() || from < blocks_.front()->entriesBefore) return;
  run.held = blocks_.front()->messagesBefore;
  for (size_t b = Index(from); b < blocks_.size() && run.heads.size() < most; ++b) {
    const TimelineBlock& block = *blocks_[b];
    size_t index = size_t(std::max<int64_t>(0, from + int64_t(run.heads.size()) - block.entriesBefore));
    if (index == 0 && !block.heads.empty()) run.blockStarts.push_back(run.heads.size());
    size_t offset = 0;
    for (size_t i = 0; i < index; ++i) offset += block.heads[i].Kept();
    const size_t end = std::min(block.heads.size(), index + most - run.heads.size());
    size_t kept = 0;
    for (size_t i = index; i < end; ++i) kept += block.heads[i].Kept();
    run.heads.insert(run.heads.end(), block.heads.begin() + long(index), block.heads.begin() + long(end));
    run.bytes.insert(run.bytes.end(), block.bytes.begin() + long(offset), block.bytes.begin() + long(offset + kept));
  }
}

void Timeline::Wake() { progress_.notify_all(); }

bool Timeline::CheckpointDue(int64_t at, size_t cost) {
  const std::lock_guard lock(mutex_);
  if (cost > bound_ / kCheckpointShare) return false;
  if (blocks_.empty() || checkpoints_.empty()) return true;
  // A checkpoint costs a copy of the scene's changes, so one is left only
  // after entries that cost at least as much: its memory and the time to
  // make it stay within what the entries themselves cost. The entries are
  // those between the checkpoint before and this one, however fast they came.
  size_t bytes = 0;
  for (size_t b = Index(checkpointAt_); b < blocks_.size() && blocks_[b]->entriesBefore < at; ++b) {
    bytes += blocks_[b]->accounted;
  }
  const int64_t entries = at - std::max(checkpointAt_, blocks_.front()->entriesBefore);
  return (entries >= int64_t{kBlockEntries} || bytes >= kBlockBytes) && bytes >= cost;
}

void Timeline::Checkpoint(int64_t at, size_t cost) {
  const std::lock_guard lock(mutex_);
  if (blocks_.empty() || at < blocks_.front()->entriesBefore) return;
  if (blocks_[Index(at)]->entriesBefore != at || checkpoints_.count(at)) return;
  checkpoints_[at] = cost;
  bytes_ += cost;
  checkpointAt_ = at;
}

TimelineSpan Timeline::Take(int64_t from, int64_t through) {
  const std::lock_guard lock(mutex_);
  TimelineSpan span;
  span.last = messages_;
  span.front = Front();
  if (from < span.front || from > entries_) return span;
  span.held = true;
  if (blocks_.empty()) return span;
  const size_t first = Index(from);
  span.skip = size_t(from - blocks_[first]->entriesBefore);
  for (size_t b = first; b < blocks_.size() && blocks_[b]->messagesBefore <= through; ++b) {
    if (b + 1 < blocks_.size() || sealed_) {
      span.blocks.push_back(blocks_[b]);
      continue;
    }
    // The block being filled grows under the pipe's thread: a copy of it.
    const TimelineBlock& filling = *blocks_[b];
    auto copy = std::make_shared<TimelineBlock>();
    copy->messagesBefore = filling.messagesBefore;
    copy->entriesBefore = filling.entriesBefore;
    copy->heads = filling.heads;
    copy->bytes = filling.bytes;
    span.blocks.push_back(std::move(copy));
  }
  return span;
}

int64_t Timeline::Messages() {
  const std::lock_guard lock(mutex_);
  return messages_;
}

size_t Timeline::Bytes() {
  const std::lock_guard lock(mutex_);
  return bytes_;
}
