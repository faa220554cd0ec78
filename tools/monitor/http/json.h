// What the view says in JSON: the state the panels show, a point looked at,
// a pixel's history, and the constants the page shares with the monitor. Every string from the host goes out as JSON text
// (the page shows it as text).
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

#include "render/replay.h"
#include "scene/scene.h"

using nlohmann::json;

// Serializes, replacing bytes that are not UTF-8.
std::string Dump(const json& value);

// The scene's settings, clients and sprites, and its log lines from
// `logs_from` on (an index into scene.logs).
json StateJson(const Scene& scene, size_t logs_from);
// A point: its message, the range held, and the lines around it.
json PointJson(const Point& point);
json HistoryJson(const History& history);
// The constants the page shares with the monitor, as an ES module (served
// as /constants.js): the tile size of frames, the log lines kept, and the
// log levels in order with their names.
std::string PageConstants();
