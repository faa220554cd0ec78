// The display state that `vesprine-monitor --view` keeps, and how each
// message changes it: plain data and one small handler per command, each a
// function of (state, message), with no sockets, threads or clock. Drawing
// commands draw into the layers at once, through the pixel library; the
// layers' tiles are shared copy-on-write, so a copy of a scene costs what
// changes after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/decode.h"
#include "pixels/compose.h"
#include "pixels/image.h"
#include "pixels/layer.h"

// Limits that keep memory bounded whatever the host sends.
constexpr int32_t kMaxSide = 8192;                      // resolution and sprite size, per side
constexpr size_t kMaxSprites = 1024;                    // sprites alive at once
constexpr int64_t kMaxSpritePixels = int64_t{1} << 26;  // all sprites' pixels together (64 Mi)
constexpr size_t kMaxLogLines = 1000;                   // log lines kept
constexpr size_t kMaxLogBytes = size_t{4} << 20;        // and their bytes
constexpr size_t kMaxClients = 1024;                    // clients known at once; a new one past it
                                                        // takes the place of the lowest-numbered
constexpr int32_t kMaxFontSize = 1024;
// The level of the monitor's own log lines (its warnings), beside the host's
// "V" to "C", and its name on the page.
constexpr char kMonitorLevel[] = "warning";
constexpr char kMonitorLevelName[] = "monitor";
constexpr int32_t kDefaultFontSize = 16;

// A colour as a client set it: straight alpha, each channel 0-255.
struct Colour {
  uint8_t r = 255, g = 255, b = 255, a = 255;
};

struct Sprite {
  int64_t id = 0;     // unique for the session: a re-created name gets a new one
  std::string name;      // the name's bytes, as sent
  std::string nameText;  // the name as text (UTF-8), as the page shows it
  int32_t width = 0, height = 0;
  int32_t x = 0, y = 0;    // bound: where the O-point sits on the screen
  int32_t ox = 0, oy = 0;  // O-point, in the sprite's own pixels
  int32_t z = 0;
  bool visible = true;
  uint8_t alpha = 255;
  Layer layer;

  // Where its pixels lie on the screen.
  Box OnScreen() const { return {int64_t{x} - ox, int64_t{y} - oy, int64_t{x} - ox + width, int64_t{y} - oy + height}; }
};

struct ClientState {
  Colour colour;
  Encoding encoding = Encoding::kUtf8;
  int64_t sprite = 0;  // current sprite's id, 0 for none
};

struct LogLine {
  int64_t message = 0;
  int64_t client = 0;  // 0: the monitor's own warning
  std::string level;   // the command's level for the host's lines, kMonitorLevel for the monitor's
  std::string text;    // UTF-8
  int64_t time = 0;    // milliseconds since the epoch
};

struct Background {
  std::shared_ptr<const Image> image;  // none: drawn as a placeholder
  std::string path;                    // as text
  uint8_t alpha = 255;
};

// What the scene is told of an image path when a message draws it: the
// image, or why there is none. The answer for a path at a given message must
// be the same whenever it is asked, so that looking back shows what was drawn.
struct ImageFound {
  std::shared_ptr<const Image> image;
  std::string error;
};

// One screen pixel watched while messages are applied, for its history:
// the screen's drawing is kept only there, and each message says whether it
// drew on a layer pixel lying over it, or changed what lies over it.
struct Watch {
  int32_t x = 0, y = 0;
  bool drew = false;     // the message drew on a layer pixel over it,
  int64_t layer = 0;     // on this layer (0: the screen, else a sprite id)
  int64_t lx = 0, ly = 0;  // at this pixel of it
  bool changed = false;  // or changed what lies over it (a sprite, the background, the resolution)
};

struct Scene {
  int32_t width = 640, height = 480;
  std::optional<Background> background;
  Layer screen{640, 480};
  std::vector<Sprite> sprites;                   // in creation order
  std::map<int64_t, ClientState> clients;        // connected clients
  std::deque<std::shared_ptr<const LogLine>> logs;
  size_t logBytes = 0;
  int64_t spritePixels = 0;
  int64_t nextSpriteId = 1;
  int64_t messages = 0;
  int64_t malformed = 0;
  int64_t placeholders = 0;  // images drawn as placeholders, their file unreadable or their path empty
  Damage damage = Damaged(640, 480);  // what the composed frame must show anew
  // Every screen box changed since the renderer last took it, beyond the
  // screen's edge too: a look at one pixel skips the entries that left it alone.
  Box changed;

  static Damage Damaged(int32_t width, int32_t height) {
    Damage d;
    d.Reset(width, height);
    d.MarkAll();
    return d;
  }
};

// The path of the image file a message draws: read before the message is
// applied, and its answer handed to ApplyMessage. Empty for any other
// message, and where it draws a placeholder without reading (no path, a
// size that draws nothing).
std::string_view ImagePath(const Decoded& decoded);
// Applies one message from `client` that arrived at `time` (milliseconds
// since the epoch), given in `image` the file at its ImagePath, when it has
// one, as read for this message. Counts it; a malformed one changes nothing
// else. With a `watch`, says there what it did to that pixel.
void ApplyMessage(Scene& scene, int64_t client, const Decoded& decoded, int64_t time, const ImageFound* image,
                  Watch* watch = nullptr);
void ClientJoined(Scene& scene, int64_t client);
void ClientLeft(Scene& scene, int64_t client);

// What the scene shows, bottom to top, for composing it.
Composition CompositionOf(const Scene& scene);
// Composes `frame` anew where the scene's damage says it changed (all of
// it, at the scene's size, when the size changed), and clears the damage.
void ComposeDamage(Scene& scene, Layer& frame);
// Roughly what a copy of the scene costs in memory beyond the tiles it shares.
size_t SceneBytes(const Scene& scene);
