// Every message the view has seen, and when each client came and went, in
// order: the one record from which the live picture, any past point and a
// pixel's history are made. The pipe's thread appends; the renderer reads
// the entries in order. The render stage keeps copies of its scene at the
// start of some blocks (checkpoints) itself; the timeline knows only where
// they stand and what they cost, so that its bound covers entries and
// checkpoints together and what it lets go of leaves a checkpoint first.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "input/session.h"

constexpr size_t kBlockEntries = 4096;                   // a block is sealed at this many entries
constexpr size_t kBlockBytes = size_t{1} << 20;          // or at this many bytes
constexpr size_t kMaxTimelineBytes = size_t{256} << 20;  // entries and checkpoints together
// A checkpoint costing more than this part of the bound is not kept: on a
// large screen drawn all over, looking back then starts only at the next
// checkpoint that fits, and the blocks before it go.
constexpr size_t kCheckpointShare = 4;

// How one entry is kept: its head, and its bytes without their longest run
// of zeros (most of a fixed-layout message).
struct EntryHead {
  SessionEntry::Kind kind;
  int64_t client;
  int64_t time;     // microseconds since the epoch
  uint32_t length;  // the message's whole length
  uint32_t size;    // its bytes as received (a message longer than the largest, cut)
  uint32_t gap;     // where the run of zeros that is not kept starts,
  uint32_t zeros;   // and its length
  size_t Kept() const { return size - zeros; }
};

// Rebuilds an entry's bytes from what was kept.
void Expand(const EntryHead& head, const uint8_t* kept, std::vector<uint8_t>& bytes);

// A run of entries. Once sealed, its entries never change.
struct TimelineBlock {
  int64_t messagesBefore = 0;  // messages before its first entry
  int64_t entriesBefore = 0;   // entries before it
  std::vector<EntryHead> heads;
  std::vector<uint8_t> bytes;  // the entries' kept bytes, one after another
  size_t accounted = 0;        // what its entries cost the bound
};

// Entries copied out for the renderer.
struct EntryRun {
  int64_t held = 0;  // the earliest message the timeline still holds
  std::vector<EntryHead> heads;
  std::vector<uint8_t> bytes;
  std::vector<size_t> blockStarts;  // indexes into heads where a block begins
};

// Entries for a look back, taken under the lock: blocks that never change.
struct TimelineSpan {
  bool held = false;   // the entry asked for is still held; else nothing below is set
  int64_t front = 0;   // the first entry held
  int64_t last = 0;    // messages appended
  // From the block that holds the entry asked for on; the block being
  // filled as a copy of what it holds.
  std::vector<std::shared_ptr<const TimelineBlock>> blocks;
  size_t skip = 0;     // entries of the first block before the one asked for
};

class Timeline {
 public:
  explicit Timeline(size_t bound = kMaxTimelineBytes) : bound_(bound) {}

  // From the pipe's thread: keeps an entry. Waits only when the renderer is
  // a whole bound of entries behind, so that memory stays bounded. Returns
  // the first entry still held: the render stage lets go of its
  // checkpoints before it.
  int64_t Add(SessionEntry::Kind kind, int64_t client, int64_t time, const uint8_t* bytes, size_t size,
              size_t length);
  // Stops any waiting in Add for good (the renderer has stopped).
  void Release();

  // For the renderer: copies up to `most` entries from entry `from` on into
  // `run` (empty when there are none yet), waiting a little for one.
  // Everything before `from` counts as rendered.
  void Read(int64_t from, size_t most, EntryRun& run);
  // Whether a checkpoint is due at the block starting at entry `at`, given
  // what a copy of the scene costs now.
  bool CheckpointDue(int64_t at, size_t cost);
  // The render stage keeps a checkpoint costing `cost` at the block that
  // starts at entry `at`: the bound counts it, and the oldest blocks go up
  // to such a checkpoint.
  void Checkpoint(int64_t at, size_t cost);
  // Wakes a renderer waiting in Read.
  void Wake();

  // The entries from entry `from` on, up to the block that begins past
  // message `through`. Changes nothing: the block being filled comes as a
  // copy of what it holds now.
  TimelineSpan Take(int64_t from, int64_t through);

  int64_t Messages();  // messages appended
  size_t Bytes();

 private:
  void Seal();
  void Trim();
  size_t Index(int64_t entry) const;  // the block that holds entry `entry`
  int64_t Front() const;              // the first entry held

  std::mutex mutex_;
  std::condition_variable progress_;  // the renderer read, or entries arrived
  std::deque<std::shared_ptr<TimelineBlock>> blocks_;
  size_t bound_;
  size_t bytes_ = 0;
  int64_t messages_ = 0;
  int64_t entries_ = 0;
  int64_t rendered_ = 0;       // entries the renderer has taken
  bool released_ = false;
  int64_t checkpointAt_ = 0;   // the entry where the latest checkpoint stands
  size_t lastBlockBytes_ = 64 << 10;  // the bytes of the last block sealed full
  bool sealed_ = true;
  std::map<int64_t, size_t> checkpoints_;  // the cost of each checkpoint the render stage keeps, by entry
};
