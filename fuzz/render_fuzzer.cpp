// libFuzzer target: the scene and the composition, which draw what every
// message says, must cost what a message changes. An input is a run of
// messages in a short form (below), built by the protocol's own record code,
// decoded, applied to a scene as the renderer applies them, and composed with
// the scene's damage as the renderer publishes a frame. Run with -timeout and
// -rss_limit_mb: a message that takes seconds, or memory out of proportion,
// is a finding. What a message may legitimately cost is bounded here, by the
// pixels it can change in the layer it draws on: a run stops before going
// past kBudget of those, or past kMessages messages.
//
// The short form, one step after another:
//   b < 0xF0  a message of code b % 30 from client 1 + b / 30 % 3: each
//             integer field the command sets, then its string, if any;
//   0xF0      compose a frame;
//   0xF1, 0xF2  client N joins, leaves (N: the next byte % 3 + 1);
//   0xF3      a message of raw bytes: a 2-byte length, then the bytes;
//   0xF4      watch the screen pixel (X, Y), two integers (negative: none);
//   others    a message, as b < 0xF0.
// An integer is one byte t: t - 64 for t < 0xE0; a value at an edge for
// t < 0xF0 (kEdges); the next 2 bytes as an int16 for t < 0xF8; else the
// next 4 bytes. A string is one byte s: s % 64 bytes that follow for
// s < 0xF0; an image path of kPaths for s < 0xF8; else a pattern of
// (next byte % 64 + 1) bytes repeated to the longest string the field holds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "input/decode.h"
#include "pixels/compose.h"
#include "pixels/image.h"
#include "protocol/commands.h"
#include "scene/scene.h"

namespace {

constexpr int64_t kBudget = int64_t{8} << 20;  // pixels a run may change, composed ones included
constexpr int kMessages = 1024;
constexpr int32_t kEdges[] = {INT32_MIN,  INT32_MAX,   INT32_MIN + 1, INT32_MAX - 1, 8192,       8193,
                              -8192,      1073741823,  -1073741823,   1 << 30,       -(1 << 30), 1024,
                              4095,       65535,       256,           INT32_MAX / 2 + 40};
const char* const kPaths[] = {"images/logo.png", "backgrounds/sky.png", "missing.png", "images/", "",
                              "a",               "b",                   "images/logo.png"};

// The examples' images, decoded once.
std::vector<std::pair<std::string, std::shared_ptr<const Image>>> Examples() {
  std::vector<std::pair<std::string, std::shared_ptr<const Image>>> images;
  for (const char* path : {"images/logo.png", "backgrounds/sky.png"}) {
    std::ifstream file(std::string(VESPRINE_EXAMPLES) + "/" + path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::string error;
    images.emplace_back(path, DecodeImage(bytes, error));
    if (!images.back().second) std::abort();
  }
  return images;
}

ImageFound FindImage(std::string_view path, int64_t) {
  static const auto examples = Examples();
  for (const auto& [name, image] : examples) {
    if (path == name) return {image, ""};
  }
  return {nullptr, "no such file"};
}

class Input {
 public:
  Input(const uint8_t* data, size_t size) : at_(data), end_(data + size) {}
  bool Empty() const { return at_ == end_; }
  uint8_t Byte() { return at_ < end_ ? *at_++ : 0; }
  std::string Bytes(size_t n) {
    n = std::min(n, size_t(end_ - at_));
    std::string bytes(reinterpret_cast<const char*>(at_), n);
    at_ += n;
    return bytes;
  }
  int32_t Integer() {
    const uint8_t t = Byte();
    if (t < 0xE0) return int32_t{t} - 64;
    if (t < 0xF0) return kEdges[t - 0xE0];
    uint32_t value = 0;
    const std::string bytes = Bytes(t < 0xF8 ? 2 : 4);
    std::memcpy(&value, bytes.data(), bytes.size());
    return t < 0xF8 ? int32_t(int16_t(value)) : int32_t(value);
  }
  // A string for a field that holds `bound` bytes with its NUL.
  std::string String(size_t bound) {
    const uint8_t s = Byte();
    if (s < 0xF0) return Bytes(s % 64);
    if (s < 0xF8) return kPaths[s - 0xF0];
    const std::string pattern = Bytes(Byte() % 64 + 1);
    std::string text;
    while (!pattern.empty() && text.size() + pattern.size() < bound) text += pattern;
    return text;
  }

 private:
  const uint8_t* at_;
  const uint8_t* end_;
};

// The message for `code`, its fields and string read from the input.
std::vector<uint8_t> Message(int32_t code, Input& in) {
  const CommandInfo* info = FindCommand(code);
  if (info == nullptr) {
    std::vector<uint8_t> bytes(kPrefixSize + kShortRecordSize, 0);
    std::memcpy(bytes.data(), &code, sizeof(code));
    return bytes;
  }
  if (info->form == PayloadForm::kTextPayload) {
    const std::string text = in.String(kLogBound);
    std::vector<uint8_t> bytes(kPrefixSize + text.size() + 1, 0);
    std::memcpy(bytes.data(), &code, sizeof(code));
    std::memcpy(bytes.data() + kPrefixSize, text.data(), text.size());
    return bytes;
  }
  auto message = std::make_unique<RecordMessage>();
  std::memset(message.get(), 0, sizeof(RecordMessage));
  message->code = message->record.code = code;
  for (size_t i = 0; i < std::size(kIntegerFields); ++i) {
    if ((info->fields & (1u << i)) == 0) continue;
    const int32_t value = in.Integer();
    std::memcpy(reinterpret_cast<char*>(&message->record) + kIntegerFields[i].offset, &value, sizeof(value));
  }
  if ((info->fields & kName) != 0) {
    message->record.nameLength = BoundedCopy(message->record.name, info->stringBound, in.String(info->stringBound).c_str());
  }
  if ((info->fields & kText) != 0) {
    message->record.textLength = BoundedCopy(message->record.text, info->stringBound, in.String(info->stringBound).c_str());
  }
  const size_t size = kPrefixSize + (info->form == PayloadForm::kShortRecord ? kShortRecordSize : kFullRecordSize);
  const auto* bytes = reinterpret_cast<const uint8_t*>(message.get());
  return {bytes, bytes + size};
}

// The pixels of [x, x + w) × [y, y + h) on a width × height layer; of an
// outline there, four times the sides at most (a convex edge goes across
// and down each side of its box twice at most).
int64_t Area(int64_t x, int64_t y, int64_t w, int64_t h, int64_t width, int64_t height, bool outline = false) {
  const int64_t across = std::min(x + w, width) - std::max<int64_t>(x, 0);
  const int64_t down = std::min(y + h, height) - std::max<int64_t>(y, 0);
  if (across <= 0 || down <= 0) return 0;
  return outline ? std::min(across * down, 4 * (across + down)) : across * down;
}

// The most pixels a message can change, on the layer its client draws on,
// from what a glyph and the pen can do whatever the font: a glyph lies
// within 16 em of the pen, and moves it back 16 em at most, forth 48.
int64_t MostChanged(const Scene& scene, int64_t client, const Decoded& m) {
  if (!m.error.empty()) return 0;
  const RecordFields& f = m.fields;
  int64_t width = scene.width, height = scene.height;
  if (const auto own = scene.clients.find(client); own != scene.clients.end()) {
    for (const Sprite& sprite : scene.sprites) {
      if (sprite.id == own->second.sprite) width = sprite.width, height = sprite.height;
    }
  }
  switch (static_cast<CommandCode>(m.code)) {
    case CommandCode::DrawPixel:
      return 1;
    case CommandCode::DrawLine:
      return std::max(width, height) + 1;  // a point for each step along the longer axis
    case CommandCode::DrawRect:
    case CommandCode::DrawEllipse:
      return f.width > 0 && f.height > 0 ? Area(f.x, f.y, f.width, f.height, width, height, f.shapeParam == 0) : 0;
    case CommandCode::DrawImageScaled:
      return f.width > 0 && f.height > 0 ? Area(f.x, f.y, f.width, f.height, width, height) : 0;
    case CommandCode::DrawImage:
      return Area(f.x, f.y, kMaxImageSide, kMaxImageSide, width, height);
    case CommandCode::DrawString: {
      const int64_t size = f.textParam <= 0 ? kDefaultFontSize : std::min(f.textParam, kMaxFontSize);
      if (int64_t{f.y} + 17 * size < 0 || int64_t{f.y} - 16 * size >= height) return 0;
      int64_t glyphs = 0;
      for (int64_t i = 1; i <= int64_t(m.string.size()); ++i) {
        glyphs += f.x - 16 * size * (i + 1) < width && f.x + 48 * size * (i + 1) > 0;
      }
      return glyphs * 4 * size * size;
    }
    default:
      return 0;
  }
}

// What composing the scene's damage can cost: each damaged tile, with the
// background, the screen and each sprite over it.
int64_t ComposeCost(const Scene& scene) {
  const Composition c = CompositionOf(scene);
  int64_t cost = 0;
  for (int32_t row = 0; row * kTileSide < scene.height; ++row) {
    for (int32_t column = 0; column * kTileSide < scene.width; ++column) {
      if (!scene.damage.At(column, row)) continue;
      const int64_t x = int64_t{column} * kTileSide, y = int64_t{row} * kTileSide;
      cost += 2 * kTilePixels;
      for (const Placement& s : c.sprites) {
        cost += Area(s.left - x, s.top - y, s.layer->width(), s.layer->height(), kTileSide, kTileSide);
      }
    }
  }
  return cost;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  Scene scene;
  Layer frame(scene.width, scene.height);
  Watch watch;
  Watch* watched = nullptr;
  ClientJoined(scene, 1);
  int64_t spent = 0;
  const auto compose = [&] {
    spent += ComposeCost(scene);
    if (spent > kBudget) return false;
    ComposeDamage(scene, frame);
    return true;
  };
  for (int messages = 0; !in.Empty() && messages < kMessages;) {
    const uint8_t step = in.Byte();
    if (step == 0xF0) {
      if (!compose()) return 0;
    } else if (step == 0xF1 || step == 0xF2) {
      const int64_t client = in.Byte() % 3 + 1;
      if (step == 0xF1) ClientJoined(scene, client);
      else ClientLeft(scene, client);
    } else if (step == 0xF4) {
      const int32_t x = in.Integer(), y = in.Integer();
      watched = nullptr;
      if (x >= 0 && y >= 0 && x < scene.width && y < scene.height) {
        watch = Watch{x, y};
        watched = &watch;
      }
    } else {
      std::vector<uint8_t> bytes;
      if (step == 0xF3) {
        const size_t length = in.Byte() | size_t{in.Byte()} << 8;
        const std::string raw = in.Bytes(length);
        bytes.assign(raw.begin(), raw.end());
      } else {
        bytes = Message(step % 30, in);
      }
      // A copy of exactly the message's bytes, so that a read past it is caught.
      const std::vector<uint8_t> message(bytes);
      const Decoded decoded = Decode(message.data(), message.size());
      const int64_t client = step == 0xF3 ? 1 : 1 + step / 30 % 3;
      spent += MostChanged(scene, client, decoded);
      if (spent > kBudget) return 0;
      // The image read first, as the monitor reads it before the scene.
      const std::string_view path = ImagePath(decoded);
      const ImageFound found = path.empty() ? ImageFound{} : FindImage(path, messages + 1);
      ApplyMessage(scene, client, decoded, messages, path.empty() ? nullptr : &found, watched);
      ++messages;
    }
  }
  compose();
  return 0;
}
