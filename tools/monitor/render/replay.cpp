#include "render/replay.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>

#include "input/stop.h"
#include "pixels/compose.h"
#include "protocol/commands.h"

namespace {

Encoding EncodingOf(const Scene& scene, int64_t client) {
  const auto found = scene.clients.find(client);
  return found == scene.clients.end() ? Encoding::kUtf8 : found->second.encoding;
}

// Walks the entries of the span's blocks [first, last) (by default all of
// them), the first block's from the span's start on, giving each to `visit`
// with its bytes, until `visit` returns false. Returns false when it gave
// up first: the asker left, or the monitor is stopping.
template <class Visit>
bool Walk(const LookSpan& span, const Gone* gone, const Visit& visit, size_t first = 0,
          size_t last = SIZE_MAX) {
  std::vector<uint8_t> bytes;
  for (size_t b = first; b < std::min(last, span.blocks.size()); ++b) {
    const auto& block = span.blocks[b];
    const uint8_t* kept = block->bytes.data();
    size_t index = 0;
    if (b == 0) {
      for (; index < span.skip; ++index) kept += block->heads[index].Kept();
    }
    for (; index < block->heads.size(); ++index) {
      if (Stopping() || (gone != nullptr && gone->load(std::memory_order_relaxed))) return false;
      const EntryHead& head = block->heads[index];
      Expand(head, kept, bytes);
      kept += head.Kept();
      if (!visit(block, index, head, bytes)) return true;
    }
  }
  return true;
}

// Whether the message only draws into layers that exist (the command
// table says which): what is composed, and where, stays as it was.
bool OnlyDraws(const Decoded& decoded) { return !decoded.error.empty() || FindCommand(decoded.code)->onlyDraws; }

}  // namespace

void ApplyDecoded(Scene& scene, int64_t client, const Decoded& decoded, int64_t time, ImageFiles& images,
                  Watch* watch) {
  // Asked as the message it is, whenever it is applied: looking back gets
  // the answer drawn live.
  const std::string_view path = ImagePath(decoded);
  const ImageFound found = path.empty() ? ImageFound{} : images.Find(path, scene.messages + 1);
  ApplyMessage(scene, client, decoded, time / 1000, path.empty() ? nullptr : &found, watch);
}

void ApplyEntry(Scene& scene, SessionEntry::Kind kind, int64_t client, int64_t time,
                const std::vector<uint8_t>& bytes, ImageFiles& images) {
  switch (kind) {
    case SessionEntry::kMessage:
      ApplyDecoded(scene, client, Decode(bytes.data(), bytes.size()), time, images);
      break;
    case SessionEntry::kJoined:
      ClientJoined(scene, client);
      break;
    case SessionEntry::kLeft:
      ClientLeft(scene, client);
      break;
  }
}

Scene Summary(const Scene& scene) {
  Scene summary;
  summary.width = scene.width;
  summary.height = scene.height;
  summary.background = scene.background;
  summary.screen = Layer();
  summary.clients = scene.clients;
  summary.logs = scene.logs;
  summary.logBytes = scene.logBytes;
  summary.spritePixels = scene.spritePixels;
  summary.nextSpriteId = scene.nextSpriteId;
  summary.messages = scene.messages;
  summary.malformed = scene.malformed;
  summary.sprites.reserve(scene.sprites.size());
  for (const Sprite& sprite : scene.sprites) {
    Sprite copy;
    copy.id = sprite.id;
    copy.name = sprite.name;
    copy.nameText = sprite.nameText;
    copy.width = sprite.width;
    copy.height = sprite.height;
    copy.x = sprite.x;
    copy.y = sprite.y;
    copy.ox = sprite.ox;
    copy.oy = sprite.oy;
    copy.z = sprite.z;
    copy.visible = sprite.visible;
    copy.alpha = sprite.alpha;
    summary.sprites.push_back(std::move(copy));
  }
  return summary;
}

Point MakePoint(Timeline& timeline, Checkpoints& checkpoints, ImageFiles& images, int64_t message,
                const Gone* gone) {
  const LookSpan span = checkpoints.Take(timeline, message, kAround, kAround);
  Point point;
  point.message = span.message;
  point.first = span.first;
  point.last = span.last;
  if (!span.start) {
    point.scene = std::make_shared<const Scene>();
    return point;
  }
  Scene scene = *span.start;
  point.around = span.lines;
  // Past the point nothing is applied; the clients' encodings are followed
  // only to print the lines listed after it.
  std::map<int64_t, Encoding> after;
  int64_t at_entry = -1;  // the entry right after the point
  const auto pass_point = [&](const std::shared_ptr<const TimelineBlock>& block, size_t skip) {
    for (const auto& [number, state] : scene.clients) after[number] = state.encoding;
    at_entry = block->entriesBefore + int64_t(skip);
  };
  int64_t count = scene.messages;
  if (count == span.message && !span.blocks.empty()) pass_point(span.blocks.front(), span.skip);
  const bool whole = Walk(span, gone, [&](const auto& block, size_t index, const EntryHead& head,
                                          const std::vector<uint8_t>& bytes) {
    if (head.kind != SessionEntry::kMessage) {
      if (count < span.message) {
        ApplyEntry(scene, head.kind, head.client, head.time, bytes, images);
      } else if (head.kind == SessionEntry::kJoined) {
        after[head.client] = Encoding::kUtf8;
      }
      return true;
    }
    if (++count > span.message + kAround) return false;
    const Decoded decoded = Decode(bytes.data(), bytes.size());
    if (count <= span.message) {
      if (count >= span.message - kAround) {
        point.around.push_back(
            {count, head.client, FormatLine(head.client, decoded, head.length, EncodingOf(scene, head.client))});
      }
      ApplyDecoded(scene, head.client, decoded, head.time, images);
      if (count == span.message) pass_point(block, index + 1);
    } else {
      Encoding& encoding = after[head.client];
      point.around.push_back({count, head.client, FormatLine(head.client, decoded, head.length, encoding)});
      encoding = NextEncoding(decoded, encoding);
    }
    return true;
  });
  if (whole) {
    scene.damage = Scene::Damaged(scene.width, scene.height);
    point.frame = Layer(scene.width, scene.height);
    Compose(CompositionOf(scene), scene.damage, point.frame);
  }
  // Stopping, the last message or the frame may be made in part: no point to give or keep.
  if (!whole || Stopping()) {
    point.frame = Layer();
    point.scene = std::make_shared<const Scene>();
    return point;
  }
  point.held = true;
  point.scene = std::make_shared<const Scene>(std::move(scene));
  if (at_entry >= 0) checkpoints.Remember(point.scene, point.message, at_entry, point.around);
  return point;
}

History PixelHistory(Timeline& timeline, Checkpoints& checkpoints, ImageFiles& images, int32_t x, int32_t y,
                     int64_t message, const Gone* gone) {
  const LookSpan span = checkpoints.Take(timeline, message, 0, 0, true);
  History history;
  history.x = x;
  history.y = y;
  history.message = span.message;
  history.first = span.first;
  history.last = span.last;
  if (!span.start) return history;
  Scene scene = *span.start;
  Watch watch{x, y};
  const auto over_black = [&](const Composition& c) {
    if (x < 0 || y < 0 || x >= scene.width || y >= scene.height) return Pixel{};
    return Shown(ComposePixel(c, x, y), false);
  };
  Composition composition = CompositionOf(scene);
  bool stale = false;
  Pixel before = over_black(composition);
  std::deque<HistoryEntry> latest;
  int64_t count = scene.messages;
  bool done = false;
  const auto visit = [&](const auto&, size_t, const EntryHead& head, const std::vector<uint8_t>& bytes) {
    if (head.kind != SessionEntry::kMessage) {
      ApplyEntry(scene, head.kind, head.client, head.time, bytes, images);
      return true;
    }
    if (++count > span.message) return !(done = true);
    const Decoded decoded = Decode(bytes.data(), bytes.size());
    watch.drew = watch.changed = false;
    ApplyDecoded(scene, head.client, decoded, head.time, images, &watch);
    stale = stale || !OnlyDraws(decoded);
    if (!watch.drew && !watch.changed) return true;
    if (stale) composition = CompositionOf(scene), stale = false;
    const Pixel now = over_black(composition);
    if (watch.drew || now != before) {
      HistoryEntry entry;
      entry.message = count;
      entry.command = decoded.command;
      entry.colour = now;
      entry.drew = watch.drew;
      entry.layer = watch.drew ? watch.layer : 0;
      entry.lx = watch.lx;
      entry.ly = watch.ly;
      for (const Sprite& sprite : scene.sprites) {
        if (watch.drew && sprite.id == watch.layer) entry.spriteName = sprite.nameText;
      }
      latest.push_front(std::move(entry));
      if (latest.size() > kMaxHistoryEntries) latest.pop_back();
      ++history.total;
    }
    before = now;
    return true;
  };
  // From checkpoint to checkpoint: the blocks up to the next one are passed
  // over when none of them changed the pixel (the next checkpoint then holds
  // the scene), else replayed.
  for (size_t b = 0; b < span.blocks.size() && !done;) {
    size_t next = b + 1;
    while (next < span.blocks.size() && !span.checkpoints[next]) ++next;
    bool alone = next < span.blocks.size() && span.blocks[next]->messagesBefore <= span.message;
    for (size_t i = b; alone && i < next; ++i) alone = span.changed[i] && !span.changed[i]->Contains(x, y);
    if (alone) {
      scene = *span.checkpoints[next];
      count = scene.messages;
      composition = CompositionOf(scene);
      stale = false;
    } else if (!Walk(span, gone, visit, b, next)) {
      break;
    }
    b = next;
  }
  history.onScreen = x >= 0 && y >= 0 && x < scene.width && y < scene.height;
  history.width = scene.width, history.height = scene.height;
  history.entries.assign(latest.begin(), latest.end());
  return history;
}
