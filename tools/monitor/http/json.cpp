#include "http/json.h"

#include "protocol/commands.h"

namespace {

json SpriteJson(const Sprite& s) {
  return {{"id", s.id}, {"name", s.nameText}, {"width", s.width}, {"height", s.height}, {"x", s.x},
          {"y", s.y}, {"ox", s.ox}, {"oy", s.oy}, {"z", s.z}, {"visible", s.visible}, {"alpha", s.alpha}};
}

json RgbaJson(Pixel p) { return {p.r, p.g, p.b, p.a}; }

}  // namespace

std::string Dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

json StateJson(const Scene& scene, size_t logs_from) {
  json clients = json::array();
  for (const auto& [number, state] : scene.clients) {
    clients.push_back({{"client", number},
                       {"sprite", state.sprite},
                       {"encoding", state.encoding == Encoding::kUtf8 ? "UTF-8" : "Shift-JIS"}});
  }
  json sprites = json::array();
  for (const Sprite& sprite : scene.sprites) sprites.push_back(SpriteJson(sprite));
  json logs = json::array();
  for (size_t i = logs_from; i < scene.logs.size(); ++i) {
    const LogLine& line = *scene.logs[i];
    logs.push_back({{"message", line.message}, {"client", line.client}, {"level", line.level}, {"text", line.text},
                    {"time", line.time}});
  }
  json background = nullptr;
  if (scene.background) background = {{"path", scene.background->path}, {"alpha", scene.background->alpha}};
  return {{"messages", scene.messages}, {"malformed", scene.malformed}, {"width", scene.width},
          {"height", scene.height}, {"background", background}, {"clients", std::move(clients)},
          {"sprites", std::move(sprites)}, {"logs", std::move(logs)}};
}

json PointJson(const Point& point) {
  json around = json::array();
  for (const TimelineLine& line : point.around) {
    around.push_back({{"message", line.message}, {"client", line.client}, {"line", line.line}});
  }
  return {{"message", point.message}, {"first", point.first}, {"last", point.last}, {"around", std::move(around)}};
}

json HistoryJson(const History& history) {
  json entries = json::array();
  for (const HistoryEntry& e : history.entries) {
    json entry = {{"message", e.message}, {"command", e.command}, {"color", RgbaJson(e.colour)}};
    if (e.drew && e.layer == 0) entry["layer"] = {{"screen", true}, {"x", e.lx}, {"y", e.ly}};
    if (e.drew && e.layer != 0) entry["layer"] = {{"sprite", e.layer}, {"name", e.spriteName}, {"x", e.lx}, {"y", e.ly}};
    entry["drew"] = e.drew;
    entries.push_back(std::move(entry));
  }
  return {{"x", history.x}, {"y", history.y}, {"message", history.message}, {"first", history.first},
          {"last", history.last}, {"onScreen", history.onScreen}, {"width", history.width},
          {"height", history.height}, {"total", history.total},
          {"dropped", history.first > 0}, {"entries", std::move(entries)}};
}

std::string PageConstants() {
  json levels = json::array();
  for (const CommandInfo& command : kCommands) {
    if (command.level != nullptr) levels.push_back({command.level, command.levelName});
  }
  levels.push_back({kMonitorLevel, kMonitorLevelName});
  return "// The constants the page shares with the monitor, made by the monitor.\n"
         "export const kTileSide = " + std::to_string(kTileSide) + ";\n"
         "export const kMaxLogLines = " + std::to_string(kMaxLogLines) + ";\n"
         "export const kLevels = " + Dump(levels) + ";\n";
}
