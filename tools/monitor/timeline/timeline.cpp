#include "timeline/timeline.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "input/decode.h"
#include "protocol/protocol.h"

size_t SceneBytes(const Scene& scene) {
  size_t bytes = sizeof(Scene) + scene.historyBytes + scene.logBytes + scene.logs.size() * sizeof(LogLine) +
                 scene.sprites.size() * sizeof(Sprite) + scene.clients.size() * 64;
  for (const std::string& path : scene.images) bytes += 2 * (path.size() + 64);
  return bytes;
}

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

Encoding EncodingOf(const Scene& scene, int client) {
  const auto found = scene.clients.find(client);
  return found == scene.clients.end() ? Encoding::kUtf8 : found->second.encoding;
}

}  // namespace

void Timeline::Add(const Scene& before, SessionEntry::Kind kind, int32_t client, int64_t time, const uint8_t* bytes,
                   size_t size, size_t length) {
  if (sealed_) {
    auto block = std::make_shared<TimelineBlock>();
    block->first = before.messages;
    // A checkpoint costs a copy of the scene, so one is taken only after
    // entries that cost at least as much: its memory and the time to make it
    // stay within what the entries themselves cost.
    const size_t scene = SceneBytes(before);
    if (blocks_.empty() || ((entriesSince_ >= kBlockEntries || bytesSince_ >= kBlockBytes) && bytesSince_ >= scene)) {
      block->start = std::make_shared<const Scene>(before);
      block->startBytes = scene;
      bytes_ += scene;
      entriesSince_ = 0;
      bytesSince_ = 0;
    }
    // Reserved once, as much as the last full block held and a little more:
    // a block that grew by doubling would touch twice its memory.
    block->heads.reserve(kBlockEntries);
    block->bytes.reserve(std::min(lastBlockBytes_ / 4 * 5 + 4096, kBlockBytes + kMaxMessageSize));
    blocks_.push_back(std::move(block));
    sealed_ = false;
  }
  // Messages have a fixed layout, mostly zeros past their string: the
  // longest run of zeros is not kept.
  const auto [gap, zeros] = LongestZeroRun(bytes, size);
  TimelineBlock& block = *blocks_.back();
  block.heads.push_back({kind, client, time, static_cast<uint32_t>(length), static_cast<uint32_t>(size),
                         static_cast<uint32_t>(gap), static_cast<uint32_t>(zeros)});
  block.bytes.insert(block.bytes.end(), bytes, bytes + gap);
  block.bytes.insert(block.bytes.end(), bytes + gap + zeros, bytes + size);
  const size_t cost = sizeof(TimelineBlock::Head) + size - zeros;
  block.accounted += cost;
  bytes_ += cost;
  ++entriesSince_;
  bytesSince_ += cost;
  if (block.heads.size() >= kBlockEntries || block.bytes.size() >= kBlockBytes) {
    lastBlockBytes_ = block.bytes.size();
    Seal();
  }
  Trim();
}

// A block sealed early, for a seek, gives back what it had reserved.
void Timeline::Seal() {
  if (sealed_) return;
  sealed_ = true;
  TimelineBlock& block = *blocks_.back();
  if (block.bytes.size() < kBlockBytes / 2) {
    block.heads.shrink_to_fit();
    block.bytes.shrink_to_fit();
  }
}

// Over the bound, the oldest blocks go, up to the next checkpoint, so that
// the first block left begins with one.
void Timeline::Trim() {
  while (bytes_ > bound_) {
    const auto next = std::find_if(blocks_.begin() + 1, blocks_.end(), [](auto& b) { return b->start != nullptr; });
    if (next == blocks_.end()) return;
    for (auto it = blocks_.begin(); it != next; ++it) bytes_ -= (*it)->accounted + (*it)->startBytes;
    blocks_.erase(blocks_.begin(), next);
  }
}

TimelineSpan Timeline::Take(long message, const Scene& live, long from) {
  TimelineSpan span;
  span.last = live.messages;
  span.first = blocks_.empty() ? live.messages : blocks_.front()->first;
  span.message = std::clamp(message, span.first, span.last);
  if (blocks_.empty()) return span;
  Seal();
  if (from >= span.first && from < span.message) span.from = from;
  // From the last checkpoint before the first line to list, and at or before the page's point.
  long earliest = std::max(span.first, span.message - kAround - 1);
  if (span.from >= 0) earliest = std::min(earliest, span.from);
  auto start = blocks_.begin();
  for (auto it = blocks_.begin(); it != blocks_.end() && (*it)->first <= earliest; ++it) {
    if ((*it)->start) start = it;
  }
  span.start = (*start)->start;
  // The last seek's scene, when it is later than the checkpoint and not past
  // the point (nor the page's): the lines it listed cover those before it.
  const long recent = recent_.scene ? recent_.scene->messages : -1;
  if (recent >= (*start)->first && recent <= span.message && (span.from < 0 || recent <= span.from)) {
    const auto at = std::find(blocks_.begin(), blocks_.end(), recent_.block);
    if (at != blocks_.end()) {
      start = at;
      span.start = recent_.scene;
      span.skip = recent_.head;
      for (const TimelineLine& line : recent_.around) {
        if (line.message >= span.message - kAround && line.message <= recent) span.lines.push_back(line);
      }
    }
  }
  for (auto it = start; it != blocks_.end() && (*it)->first < span.message + kAround; ++it) span.blocks.push_back(*it);
  return span;
}

std::shared_ptr<const Scene> Timeline::Remember(std::shared_ptr<const Scene> scene, const SeekResult& seek) {
  if (!seek.block) return scene;
  std::swap(recent_.scene, scene);
  recent_.block = seek.block;
  recent_.head = seek.head;
  recent_.around = seek.around;
  return scene;
}

SeekResult Seek(const TimelineSpan& span, const ImageChecker& check) {
  SeekResult result;
  result.message = span.message;
  result.first = span.first;
  result.last = span.last;
  if (span.blocks.empty()) return result;
  Scene& scene = result.scene = *span.start;
  result.around = span.lines;
  std::map<std::string, ImageCheck> checked;
  const ImageChecker remembered = [&](const std::string& path) {
    const auto [at, added] = checked.try_emplace(path);
    if (added) at->second = check(path);
    return at->second;
  };
  // Changes are kept from the page's point on, within a bound: past it the
  // page gets the whole scene instead.
  std::vector<Change>& changes = result.changes;
  result.delta = span.from >= 0;
  size_t kept = 0, changed = 0;
  const auto keep = [&](long at) {
    if (!result.delta || at < span.from) {
      changes.clear();
      return;
    }
    for (; kept < changes.size(); ++kept) changed += ChangeBytes(changes[kept]);
    if (changed > kMaxSeekChanges) {
      result.delta = false;
      changes.clear();
    }
  };
  std::vector<uint8_t> message;
  // Past the point nothing is applied; the clients' encodings are followed
  // only to print the lines listed after it.
  std::map<int, Encoding> after;
  const auto pass_point = [&] {
    for (const auto& [number, state] : scene.clients) after[number] = state.encoding;
  };
  long count = scene.messages;
  if (count == span.message) {
    pass_point();
    result.block = span.blocks.front();
    result.head = span.skip;
  }
  for (const auto& block : span.blocks) {
    const uint8_t* bytes = block->bytes.data();
    size_t index = 0;
    if (block == span.blocks.front()) {
      for (; index < span.skip; ++index) bytes += block->heads[index].size - block->heads[index].zeros;
    }
    for (; index < block->heads.size(); ++index) {
      const TimelineBlock::Head& head = block->heads[index];
      message.assign(bytes, bytes + head.gap);
      message.resize(head.gap + head.zeros);
      message.insert(message.end(), bytes + head.gap, bytes + head.size - head.zeros);
      bytes += head.size - head.zeros;
      if (head.kind != SessionEntry::kMessage) {
        const bool joined = head.kind == SessionEntry::kJoined;
        if (count < span.message) {
          if (joined) ClientJoined(scene, head.client, changes); else ClientLeft(scene, head.client, changes);
          keep(count);
        } else if (joined) {
          after[head.client] = Encoding::kUtf8;
        }
        continue;
      }
      if (++count > span.message + kAround) return result;
      const Decoded decoded = Decode(message.data(), message.size());
      if (count <= span.message) {
        if (count >= span.message - kAround) {
          result.around.push_back(
              {count, head.client, FormatLine(head.client, decoded, head.length, EncodingOf(scene, head.client))});
        }
        ApplyMessage(scene, head.client, decoded, head.time / 1000, remembered, changes);
        keep(count - 1);
        if (count == span.message) {
          pass_point();
          result.block = block;
          result.head = index + 1;
        }
      } else {
        Encoding& encoding = after[head.client];
        result.around.push_back({count, head.client, FormatLine(head.client, decoded, head.length, encoding)});
        encoding = NextEncoding(decoded, encoding);
      }
    }
  }
  return result;
}
