// The display state that `vesprine-monitor --view` keeps, and how each
// message changes it. Plain data and functions of (state, message): no
// sockets, no threads, no clock, so it is tested without a browser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "input/decode.h"

// Limits that keep memory bounded whatever the host sends.
constexpr int32_t kMaxSide = 8192;                    // resolution and sprite size, per side
constexpr int kMaxSprites = 1024;                     // sprites alive at once
constexpr int64_t kMaxSpritePixels = int64_t{1} << 26;  // all sprites' pixels together (64 Mi)
constexpr size_t kMaxHistoryBytes = size_t{32} << 20;   // drawing kept for late-opened pages
constexpr size_t kMaxLogLines = 1000;                 // log lines kept for late-opened pages
constexpr size_t kMaxLogBytes = size_t{4} << 20;      // and their bytes
constexpr size_t kMaxImages = 4096;                   // distinct image paths
constexpr int32_t kMaxFontSize = 1024;
constexpr int32_t kDefaultFontSize = 16;

struct Rgba {
  uint8_t r = 255, g = 255, b = 255, a = 255;
};

enum class OpKind { kPixel, kLine, kRect, kEllipse, kText, kImage, kClear, kSize };

// One drawing command, as the page executes it on a layer.
struct DrawOp {
  OpKind kind = OpKind::kPixel;
  long message = 0;
  int32_t x = 0, y = 0, x2 = 0, y2 = 0;  // x2, y2: a line's second point
  int32_t width = 0, height = 0;         // rect, ellipse, scaled image (0: at its own size), new screen size
  bool filled = false;
  Rgba color;
  int32_t size = 0;      // text: font size in pixels
  int image = 0;         // image id; 0: missing, drawn as a placeholder
  uint8_t opacity = 255; // scaled image
  std::string text;      // text, UTF-8
};

// The drawing on one surface since it was last cleared. `since` is 0 when
// every op since then is kept, else the message of the oldest kept op. The
// screen's layer changes size with the resolution (a kSize op), so replaying
// its ops from its first size gives the same pixels as watching them live.
struct Layer {
  std::deque<DrawOp> ops;
  size_t bytes = 0;
  long since = 0;
  int32_t width = 640, height = 480;  // the screen's size before its first op
};

struct SpriteInfo {
  int id = 0;          // unique for the session: a re-created name gets a new one
  std::string name;    // the name's bytes, as sent
  std::string label;   // the name as text, for the page
  int32_t width = 0, height = 0;
  int32_t x = 0, y = 0;    // bound: where the O-point sits on the screen
  int32_t ox = 0, oy = 0;  // O-point, in the sprite's own pixels
  int32_t z = 0;
  bool visible = true;
  uint8_t alpha = 255;
};

struct Sprite : SpriteInfo {
  Layer layer;
};

struct ClientState {
  Rgba color;
  Encoding encoding = Encoding::kUtf8;
  int sprite = 0;  // current sprite's id, 0 for none
};

struct LogLine {
  long message = 0;
  int client = 0;    // 0: the monitor's own warning
  std::string level; // "V" to "C" for the host's lines, "warning" for the monitor's
  std::string text;  // UTF-8
  int64_t time = 0;  // milliseconds since the epoch
};

struct Background {
  int image = 0;  // 0: missing, drawn as a placeholder
  std::string path;
  uint8_t alpha = 255;
};

// What one message changed, for the pages that show the state live.
struct Change {
  enum Kind { kOp, kSprite, kDispose, kBackground, kLog, kClient, kClientLeft };
  explicit Change(Kind k) : kind(k) {}
  Kind kind;
  int id = 0;  // kOp: the layer, 0 for the screen, else a sprite id; kDispose: the sprite; kClient*: the client
  DrawOp op;
  SpriteInfo sprite;
  Background background;  // kBackground; hasBackground false: removed
  bool hasBackground = false;
  LogLine log;
  ClientState client;
};

struct Scene {
  int32_t width = 640, height = 480;
  bool hasBackground = false;
  Background background;
  Layer screen;
  std::vector<Sprite> sprites;  // creation order
  std::map<int, ClientState> clients;  // connected clients
  std::deque<LogLine> logs;
  size_t logBytes = 0;
  std::vector<std::string> images;         // id - 1 to resolved path
  std::map<std::string, int> imageIds;
  size_t historyBytes = 0;
  int64_t spritePixels = 0;
  int nextSpriteId = 1;
  long messages = 0;
  long malformed = 0;
};

// The result of looking at an image file: its resolved path, and why it
// cannot be drawn (empty when it can).
struct ImageCheck {
  std::string path;
  std::string error;
};
using ImageChecker = std::function<ImageCheck(const std::string& path)>;

// Applies one message from `client` that arrived at `time`. Counts it, and
// appends what it changed to `changes`. Malformed messages only count.
void ApplyMessage(Scene& scene, int client, const Decoded& decoded, int64_t time, const ImageChecker& check,
                  std::vector<Change>& changes);

void ClientJoined(Scene& scene, int client, std::vector<Change>& changes);
void ClientLeft(Scene& scene, int client, std::vector<Change>& changes);

// The bytes an op costs the history, as counted against kMaxHistoryBytes.
size_t OpBytes(const DrawOp& op);
// Roughly the bytes a change holds, for bounding those that wait.
size_t ChangeBytes(const Change& change);
