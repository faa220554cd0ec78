#include "scene/stream.h"

#include <charconv>
#include <initializer_list>
#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

const char* KindName(OpKind kind) {
  switch (kind) {
    case OpKind::kPixel: return "pixel";
    case OpKind::kLine: return "line";
    case OpKind::kRect: return "rect";
    case OpKind::kEllipse: return "ellipse";
    case OpKind::kText: return "text";
    case OpKind::kImage: return "image";
    case OpKind::kClear: return "clear";
    case OpKind::kSize: return "size";
  }
  return "";
}

std::string Dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

void Append(std::string& out, int64_t value) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof(digits), value).ptr);
}

// An op as an array, its kind first, then its message and its fields in a
// fixed order. Ops are most of what the stream carries, so they are written
// straight into the text instead of being built as JSON values first; only
// their text goes through the JSON library's escaping.
void AppendOp(std::string& out, const DrawOp& op) {
  out += "[\"";
  out += KindName(op.kind);
  out += "\",";
  Append(out, op.message);
  const auto add = [&out](std::initializer_list<int64_t> fields) {
    for (const int64_t field : fields) {
      out += ',';
      Append(out, field);
    }
  };
  switch (op.kind) {
    case OpKind::kPixel: add({op.x, op.y}); break;
    case OpKind::kLine: add({op.x, op.y, op.x2, op.y2}); break;
    case OpKind::kRect:
    case OpKind::kEllipse: add({op.x, op.y, op.width, op.height, op.filled ? 1 : 0}); break;
    case OpKind::kText: add({op.x, op.y, op.size}); break;
    case OpKind::kImage: add({op.x, op.y, op.width, op.height, op.image, op.opacity}); break;
    case OpKind::kClear: break;
    case OpKind::kSize: add({op.width, op.height}); break;
  }
  if (op.kind == OpKind::kText) {
    out += ',';
    out += Dump(op.text);
  }
  if (op.kind != OpKind::kImage && op.kind != OpKind::kClear && op.kind != OpKind::kSize) {
    add({op.color.r, op.color.g, op.color.b, op.color.a});
  }
  out += ']';
}

void AppendLayer(std::string& out, const Layer& layer) {
  out += "{\"since\":";
  Append(out, layer.since);
  out += ",\"width\":";
  Append(out, layer.width);
  out += ",\"height\":";
  Append(out, layer.height);
  out += ",\"ops\":[";
  for (const DrawOp& op : layer.ops) {
    if (&op != &layer.ops.front()) out += ',';
    AppendOp(out, op);
  }
  out += "]}";
}

json SpriteJson(const SpriteInfo& sprite) {
  return {{"id", sprite.id}, {"name", sprite.label}, {"width", sprite.width}, {"height", sprite.height},
          {"x", sprite.x},   {"y", sprite.y},        {"ox", sprite.ox},       {"oy", sprite.oy},
          {"z", sprite.z},   {"visible", sprite.visible}, {"alpha", sprite.alpha}};
}

json BackgroundJson(bool present, const Background& background) {
  if (!present) return nullptr;
  return {{"image", background.image}, {"path", background.path}, {"alpha", background.alpha}};
}

json LogJson(const LogLine& line) {
  return {{"m", line.message}, {"client", line.client}, {"level", line.level}, {"text", line.text}, {"time", line.time}};
}

json ClientJson(int number, const ClientState& state) {
  return {{"client", number},
          {"sprite", state.sprite},
          {"encoding", state.encoding == Encoding::kUtf8 ? "UTF-8" : "Shift-JIS"}};
}

// The snapshot, appended to `out`.
void AppendSnapshot(std::string& out, const Scene& scene) {
  json clients = json::array();
  for (const auto& [number, state] : scene.clients) clients.push_back(ClientJson(number, state));
  json logs = json::array();
  for (const LogLine& line : scene.logs) logs.push_back(LogJson(line));
  const json head{{"messages", scene.messages},
                  {"malformed", scene.malformed},
                  {"width", scene.width},
                  {"height", scene.height},
                  {"background", BackgroundJson(scene.hasBackground, scene.background)},
                  {"clients", std::move(clients)},
                  {"logs", std::move(logs)}};
  // The layers are written into the object by hand: the head without its
  // closing brace, then the screen and the sprites with their ops. An op
  // takes about a third of its history bytes as text: reserved at once, the
  // text is not copied as it grows.
  out.reserve(out.size() + scene.historyBytes / 3 + scene.logBytes * 2 + 4096);
  out += Dump(head);
  out.pop_back();
  out += ",\"screen\":";
  AppendLayer(out, scene.screen);
  out += ",\"sprites\":[";
  for (const Sprite& sprite : scene.sprites) {
    if (&sprite != &scene.sprites.front()) out += ',';
    out += Dump(SpriteJson(sprite));
    out.back() = ',';
    out += "\"layer\":";
    AppendLayer(out, sprite.layer);
    out += '}';
  }
  out += "]}";
}

}  // namespace

std::string SnapshotJson(const Scene& scene) {
  std::string out;
  AppendSnapshot(out, scene);
  return out;
}

// Consecutive ops on one layer go out as one event, {t: "ops", layer, ops}.
std::string BatchJson(const std::vector<Change>& changes, long messages, long malformed) {
  std::string out = "{\"messages\":";
  Append(out, messages);
  out += ",\"malformed\":";
  Append(out, malformed);
  out += ",\"events\":[";
  bool first = true;
  bool inOps = false;  // within an ops event, whose layer is `layer`
  int layer = 0;
  for (const Change& change : changes) {
    if (change.kind == Change::kOp && inOps && change.id == layer) {
      out += ',';
      AppendOp(out, change.op);
      continue;
    }
    if (inOps) out += "]}";
    inOps = false;
    if (!first) out += ',';
    first = false;
    json event;
    switch (change.kind) {
      case Change::kOp:
        out += "{\"t\":\"ops\",\"layer\":";
        Append(out, change.id);
        out += ",\"ops\":[";
        AppendOp(out, change.op);
        inOps = true;
        layer = change.id;
        continue;
      case Change::kSprite:
        event = {{"t", "sprite"}, {"sprite", SpriteJson(change.sprite)}};
        break;
      case Change::kDispose:
        event = {{"t", "dispose"}, {"id", change.id}};
        break;
      case Change::kBackground:
        event = {{"t", "background"}, {"background", BackgroundJson(change.hasBackground, change.background)}};
        break;
      case Change::kLog:
        event = {{"t", "log"}, {"log", LogJson(change.log)}};
        break;
      case Change::kClient:
        event = {{"t", "client"}, {"client", ClientJson(change.id, change.client)}};
        break;
      case Change::kClientLeft:
        event = {{"t", "left"}, {"client", change.id}};
        break;
    }
    out += Dump(event);
  }
  if (inOps) out += "]}";
  out += "]}";
  return out;
}

std::string SeekJson(const SeekResult& seek) {
  json around = json::array();
  for (const TimelineLine& line : seek.around) {
    around.push_back({{"m", line.message}, {"client", line.client}, {"line", line.line}});
  }
  const json head{{"message", seek.message}, {"first", seek.first}, {"last", seek.last}, {"around", std::move(around)}};
  std::string out = Dump(head);
  out.pop_back();
  if (seek.delta) {
    out += ",\"batch\":";
    out += BatchJson(seek.changes, seek.message, seek.scene.malformed);
  } else {
    out += ",\"snapshot\":";
    AppendSnapshot(out, seek.scene);
  }
  out += '}';
  return out;
}
