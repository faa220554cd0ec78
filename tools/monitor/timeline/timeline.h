// Every message the view has seen, and when each client came and went, in
// order: the one record from which the live picture, any past point and a
// pixel's history are made. The pipe's thread appends; the renderer reads
// the entries in order and, at the start of some blocks, leaves a copy of
// its scene (a checkpoint), so that a past point is made from the
// checkpoint before it and never from the start of the session.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "input/session.h"
#include "pixels/box.h"

struct Scene;

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
  std::shared_ptr<const Scene> start;  // the scene before its first entry, when a checkpoint was left here
  size_t startBytes = 0;
  // Once the renderer has applied all of it: the screen its entries changed
  // (under the timeline's lock; a span carries a copy).
  std::optional<Box> changed;
};

// Entries copied out for the renderer.
struct EntryRun {
  int64_t held = 0;  // the earliest message the timeline still holds
  std::vector<EntryHead> heads;
  std::vector<uint8_t> bytes;
  std::vector<size_t> blockStarts;  // indexes into heads where a block begins
};

// A message near a point looked at, as the monitor prints it.
struct TimelineLine {
  int64_t message = 0;
  int64_t client = 0;
  std::string line;
};

// What a look at a past point needs, taken under the lock.
struct TimelineSpan {
  int64_t message = 0;  // the point, within [first, last]
  int64_t first = 0;    // the earliest point the timeline still holds (`last` when it holds no checkpoint)
  int64_t last = 0;     // the latest message
  std::shared_ptr<const Scene> start;  // where the replay starts (its messages count says which message);
                                       // none when the timeline holds no checkpoint
  std::vector<std::shared_ptr<const TimelineBlock>> blocks;  // from the start's block on, sealed
  std::vector<std::optional<Box>> changed;                  // each block's `changed`
  size_t skip = 0;                     // entries of the first block that `start` has applied already
  std::vector<TimelineLine> lines;     // lines before `start` to list, known from the last look back
};

class Timeline {
 public:
  explicit Timeline(size_t bound = kMaxTimelineBytes) : bound_(bound) {}

  // From the pipe's thread: keeps an entry. Waits only when the renderer is
  // a whole bound of entries behind, so that memory stays bounded.
  void Add(SessionEntry::Kind kind, int64_t client, int64_t time, const uint8_t* bytes, size_t size, size_t length);
  // Stops any waiting in Add for good (the renderer has stopped).
  void Release();

  // For the renderer: copies up to `most` entries from entry `from` on into
  // `run` (empty when there are none yet), waiting a little for one.
  // Everything before `from` counts as rendered.
  void Read(int64_t from, size_t most, EntryRun& run);
  // Whether a checkpoint is due at the block starting at entry `at`, given
  // what a copy of the scene costs now.
  bool CheckpointDue(int64_t at, size_t cost);
  // Leaves `scene` as the checkpoint of the block that starts at entry `at`.
  void Checkpoint(int64_t at, std::shared_ptr<const Scene> scene, size_t cost);
  // The renderer has applied the block that ends right before entry `at`,
  // which changed the screen within `changed`.
  void Passed(int64_t at, const Box& changed);
  // Wakes a renderer waiting in Read.
  void Wake();

  // The span for a look at message `message` (brought within what is held),
  // with the `before` messages before it and `after` past it: from the
  // latest start before those, or with `earliest` from the earliest
  // checkpoint held. Seals the block being filled, so that every block of a
  // span is sealed.
  TimelineSpan Take(int64_t message, int64_t before, int64_t after, bool earliest = false);
  // Keeps a scene made for a look back, right after message `messages`, so
  // that a later one (a step forward) starts from there; `block` and `skip`
  // say where its next entry stands. Returns the scene kept before, to be
  // let go of outside the lock.
  std::shared_ptr<const Scene> Remember(std::shared_ptr<const Scene> scene, int64_t messages,
                                        std::shared_ptr<const TimelineBlock> block, size_t skip,
                                        std::vector<TimelineLine> lines);

  int64_t Messages();  // messages appended
  size_t Bytes();

 private:
  void Seal();
  void Trim();
  // The first block that begins with a checkpoint, or end().
  std::deque<std::shared_ptr<TimelineBlock>>::iterator FirstCheckpoint();
  size_t Index(int64_t entry) const;  // the block that holds entry `entry`

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
  struct Recent {
    std::shared_ptr<const Scene> scene;
    int64_t messages = 0;
    std::shared_ptr<const TimelineBlock> block;
    size_t skip = 0;
    std::vector<TimelineLine> lines;
  } recent_;
};
