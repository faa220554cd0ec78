// Every message the view has seen, kept so that a page can look at the scene
// as it was right after any one of them. Entries are kept in blocks, and some
// blocks begin with a copy of the scene (a checkpoint): a seek starts from the
// checkpoint before its point, never from the start of the session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "input/session.h"

constexpr size_t kBlockEntries = 4096;                  // a block is sealed at this many entries
constexpr size_t kBlockBytes = size_t{1} << 20;         // or at this many bytes
constexpr size_t kMaxTimelineBytes = size_t{256} << 20;  // entries and checkpoints together
constexpr long kAround = 10;                            // messages listed on each side of the point

// A run of entries. Once sealed it never changes, so a seek reads it without a lock.
struct TimelineBlock {
  struct Head {
    SessionEntry::Kind kind;
    int32_t client;
    int64_t time;     // microseconds since the epoch
    uint32_t length;  // the message's whole length
    uint32_t size;    // its bytes as received (a message longer than the largest, cut)
    uint32_t gap;     // where the longest run of zeros in them starts,
    uint32_t zeros;   // and its length: those bytes are not kept
  };
  std::shared_ptr<const Scene> start;  // the scene before the first entry, if a checkpoint begins here
  size_t startBytes = 0;
  long first = 0;                      // messages before the first entry
  std::vector<Head> heads;
  std::vector<uint8_t> bytes;          // the entries' kept bytes, one after another
  size_t accounted = 0;                // what its entries cost the bound
};

// A message near the point, as the monitor prints it.
struct TimelineLine {
  long message = 0;
  int client = 0;
  std::string line;
};

// What a seek needs, taken from the timeline while the scene is locked.
struct TimelineSpan {
  long message = 0;  // the point, within [first, last]
  long first = 0;    // the earliest point the timeline still holds
  long last = 0;     // the latest message
  long from = -1;    // the point a page shows, when it asks for the changes since then
  std::shared_ptr<const Scene> start;  // where the replay starts: a checkpoint, or the last seek's scene
  std::vector<std::shared_ptr<const TimelineBlock>> blocks;  // from the start's block on
  size_t skip = 0;                     // entries of the first block that `start` holds already
  std::vector<TimelineLine> lines;     // the lines to list up to `start`, known from the last seek
};

constexpr size_t kMaxSeekChanges = size_t{8} << 20;  // changes since `from`, past which the whole scene is sent

struct SeekResult {
  long message = 0, first = 0, last = 0;
  Scene scene;                      // right after `message`
  bool delta = false;               // `changes` lead from the span's `from` to `message`
  std::vector<Change> changes;
  std::shared_ptr<const TimelineBlock> block;  // where the entries after `message` start
  size_t head = 0;
  std::vector<TimelineLine> around;  // from message - kAround to message + kAround, where they exist
};

class Timeline {
 public:
  explicit Timeline(size_t bound = kMaxTimelineBytes) : bound_(bound) {}

  // Keeps an entry that `before` is about to apply, and a checkpoint of
  // `before` when one is due.
  void Add(const Scene& before, SessionEntry::Kind kind, int32_t client, int64_t time, const uint8_t* bytes,
           size_t size, size_t length);
  // The span for a seek to `message` (clamped to what is held); `live` is the
  // scene now. With `from`, an earlier point that a page shows, the seek also
  // gives the changes from there. Seals the block being filled, so that no
  // span shares a block that still changes.
  TimelineSpan Take(long message, const Scene& live, long from = -1);
  // Keeps the scene of the last seek, so that the next one, a step forward,
  // replays from there rather than from a checkpoint. Returns the scene it
  // kept before, to be let go of outside the lock.
  std::shared_ptr<const Scene> Remember(std::shared_ptr<const Scene> scene, const SeekResult& seek);
  size_t Bytes() const { return bytes_; }

 private:
  void Seal();
  void Trim();

  std::deque<std::shared_ptr<TimelineBlock>> blocks_;
  size_t bound_;
  size_t bytes_ = 0;
  size_t entriesSince_ = 0;  // since the last checkpoint
  size_t bytesSince_ = 0;
  size_t lastBlockBytes_ = 64 << 10;  // the bytes of the last block sealed full
  struct Recent {
    std::shared_ptr<const Scene> scene;
    std::shared_ptr<const TimelineBlock> block;
    size_t head = 0;
    std::vector<TimelineLine> around;
  } recent_;
  bool sealed_ = true;
};

// Replays a span from its checkpoint to its point. Images are checked with
// `check`, once per path.
SeekResult Seek(const TimelineSpan& span, const ImageChecker& check);

// Roughly what a copy of the scene costs in memory.
size_t SceneBytes(const Scene& scene);
