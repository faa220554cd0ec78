#include "stream.h"

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

json OpJson(const DrawOp& op) {
  json out{{"k", KindName(op.kind)}, {"m", op.message}};
  if (op.kind == OpKind::kClear) return out;
  out["x"] = op.x;
  out["y"] = op.y;
  switch (op.kind) {
    case OpKind::kLine:
      out["x2"] = op.x2;
      out["y2"] = op.y2;
      break;
    case OpKind::kRect:
    case OpKind::kEllipse:
      out["w"] = op.width;
      out["h"] = op.height;
      out["f"] = op.filled;
      break;
    case OpKind::kText:
      out["s"] = op.size;
      out["t"] = op.text;
      break;
    case OpKind::kSize:
      return {{"k", "size"}, {"m", op.message}, {"w", op.width}, {"h", op.height}};
    case OpKind::kImage:
      out["i"] = op.image;
      out["w"] = op.width;
      out["h"] = op.height;
      out["o"] = op.opacity;
      return out;
    default:
      break;
  }
  out["c"] = {op.color.r, op.color.g, op.color.b, op.color.a};
  return out;
}

json LayerJson(const Layer& layer) {
  json ops = json::array();
  for (const DrawOp& op : layer.ops) ops.push_back(OpJson(op));
  return {{"since", layer.since}, {"width", layer.width}, {"height", layer.height}, {"ops", std::move(ops)}};
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

}  // namespace

std::string SnapshotJson(const Scene& scene) {
  json sprites = json::array();
  for (const Sprite& sprite : scene.sprites) {
    json entry = SpriteJson(sprite);
    entry["layer"] = LayerJson(sprite.layer);
    sprites.push_back(std::move(entry));
  }
  json clients = json::array();
  for (const auto& [number, state] : scene.clients) clients.push_back(ClientJson(number, state));
  json logs = json::array();
  for (const LogLine& line : scene.logs) logs.push_back(LogJson(line));
  const json snapshot{{"messages", scene.messages},
                      {"malformed", scene.malformed},
                      {"width", scene.width},
                      {"height", scene.height},
                      {"background", BackgroundJson(scene.hasBackground, scene.background)},
                      {"screen", LayerJson(scene.screen)},
                      {"sprites", std::move(sprites)},
                      {"clients", std::move(clients)},
                      {"logs", std::move(logs)}};
  return snapshot.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string BatchJson(const std::vector<Change>& changes, long messages, long malformed) {
  json events = json::array();
  for (const Change& change : changes) {
    switch (change.kind) {
      case Change::kOp:
        events.push_back({{"t", "op"}, {"layer", change.id}, {"op", OpJson(change.op)}});
        break;
      case Change::kSprite:
        events.push_back({{"t", "sprite"}, {"sprite", SpriteJson(change.sprite)}});
        break;
      case Change::kDispose:
        events.push_back({{"t", "dispose"}, {"id", change.id}});
        break;
      case Change::kBackground:
        events.push_back({{"t", "background"}, {"background", BackgroundJson(change.hasBackground, change.background)}});
        break;
      case Change::kLog:
        events.push_back({{"t", "log"}, {"log", LogJson(change.log)}});
        break;
      case Change::kClient:
        events.push_back({{"t", "client"}, {"client", ClientJson(change.id, change.client)}});
        break;
      case Change::kClientLeft:
        events.push_back({{"t", "left"}, {"client", change.id}});
        break;
    }
  }
  const json batch{{"messages", messages}, {"malformed", malformed}, {"events", std::move(events)}};
  return batch.dump(-1, ' ', false, json::error_handler_t::replace);
}
