#include "scene/scene.h"

#include <algorithm>
#include <array>
#include <utility>

#include "pixels/shapes.h"
#include "pixels/text.h"
#include "protocol/commands.h"

namespace {

uint8_t Channel(int32_t value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

std::string Size(int32_t width, int32_t height) { return std::to_string(width) + "x" + std::to_string(height); }

// One message being applied: what its handler reads and the helpers it shares.
struct Step {
  Scene& scene;
  int64_t client;
  const Decoded& decoded;
  const RecordFields& fields;  // decoded.fields
  int64_t time;
  const ImageFound* image;  // the file at ImagePath(decoded), when it has one
  Watch* watch;      // the pixel watched, if any
  ClientState& own;  // the client's state

  std::string Text(std::string_view bytes) const { return ToText(bytes, own.encoding); }

  void Log(std::string level, std::string text) const {
    auto line = std::make_shared<LogLine>();
    line->message = scene.messages;
    line->client = level == kMonitorLevel ? 0 : client;
    line->level = std::move(level);
    line->text = std::move(text);
    line->time = time;
    scene.logBytes += line->text.size();
    scene.logs.push_back(std::move(line));
    while (scene.logs.size() > kMaxLogLines || scene.logBytes > kMaxLogBytes) {
      scene.logBytes -= scene.logs.front()->text.size();
      scene.logs.pop_front();
    }
  }

  void Warn(const std::string& text) const {
    Log(kMonitorLevel, std::string(decoded.command) + " from client " + std::to_string(client) + ": " + text);
  }

  Sprite* Find(int64_t id) const {
    for (Sprite& sprite : scene.sprites) {
      if (sprite.id == id) return &sprite;
    }
    return nullptr;
  }

  Sprite* Named(std::string_view name) const {
    for (Sprite& sprite : scene.sprites) {
      if (sprite.name == name) return &sprite;
    }
    return nullptr;
  }

  // The current sprite for a property command, or a warning and nullptr.
  Sprite* CurrentOrWarn() const {
    Sprite* sprite = Find(own.sprite);
    if (sprite == nullptr) Warn("no current sprite; nothing changed");
    return sprite;
  }

  bool PositiveOrWarn(int32_t width, int32_t height) const {
    if (width > 0 && height > 0) return true;
    Warn("size " + Size(width, height) + " is not positive; nothing changed");
    return false;
  }

  // Marks what changes on the screen where `box` lies.
  void Changed(const Box& box) const {
    scene.damage.Mark(box);
    scene.changed = scene.changed.Union(box);
    if (Watch* w = watch; w != nullptr && !box.Intersect({w->x, w->y, w->x + 1, w->y + 1}).Empty()) {
      w->changed = true;
    }
  }

  void ChangedSprite(const Sprite& sprite) const {
    if (sprite.visible) Changed(sprite.OnScreen());
  }

  // A change to a sprite: the screen is composed anew where it was and where it is.
  template <class Change>
  void Update(Sprite& sprite, const Change& change) const {
    ChangedSprite(sprite);
    change(sprite);
    ChangedSprite(sprite);
  }

  // Draws on the client's current sprite, in its own pixels, or else on the
  // screen's layer. While a pixel is watched, the screen's layer is drawn
  // only there.
  template <class Draw>
  void Drawing(const Draw& draw) const {
    Sprite* sprite = Find(own.sprite);
    Layer& layer = sprite != nullptr ? sprite->layer : scene.screen;
    const Box origin = sprite != nullptr ? sprite->OnScreen() : Box{};
    Box clip{0, 0, layer.width(), layer.height()};
    int64_t px = -1, py = -1;
    if (const Watch* w = watch) {
      if (sprite == nullptr) clip = clip.Intersect({w->x, w->y, w->x + 1, w->y + 1});
      if (sprite == nullptr || sprite->visible) px = w->x - origin.x0, py = w->y - origin.y0;
    }
    Painter painter(layer, clip, px, py);
    draw(painter, Premultiply(own.colour.r, own.colour.g, own.colour.b, own.colour.a));
    const Box& t = painter.touched();
    if (sprite == nullptr || sprite->visible) {
      const Box on_screen{t.x0 + origin.x0, t.y0 + origin.y0, t.x1 + origin.x0, t.y1 + origin.y0};
      scene.damage.Mark(on_screen);
      scene.changed = scene.changed.Union(on_screen);
    }
    if (painter.hit()) {
      watch->drew = true;
      watch->layer = sprite != nullptr ? sprite->id : 0;
      watch->lx = px;
      watch->ly = py;
    }
  }

  // The image a path names, or nullptr after a warning: drawn as a placeholder.
  std::shared_ptr<const Image> ImageAt(std::string_view path) const {
    if (path.empty()) {
      ++scene.placeholders;
      Warn("no image path; drawn as a placeholder");
      return nullptr;
    }
    const ImageFound found = image != nullptr ? *image : ImageFound{nullptr, "not read"};
    if (!found.image) ++scene.placeholders;
    if (!found.image) Warn("cannot draw image \"" + Text(path) + "\": " + found.error + "; drawn as a placeholder");
    return found.image;
  }

  void Dispose(int64_t id) const {
    const auto at = std::find_if(scene.sprites.begin(), scene.sprites.end(), [&](const Sprite& s) { return s.id == id; });
    if (at == scene.sprites.end()) return;
    ChangedSprite(*at);
    scene.spritePixels -= int64_t{at->width} * at->height;
    scene.sprites.erase(at);
    for (auto& [number, state] : scene.clients) {
      if (state.sprite == id) state.sprite = 0;
    }
  }
};

// One handler per command code; each reads the record's fields by name.
using Handler = void (*)(const Step&);

void SetColor(const Step& s) {
  s.own.colour = {Channel(s.fields.color1), Channel(s.fields.color2), Channel(s.fields.color3),
                  Channel(s.fields.alpha)};
}

void DrawPixel(const Step& s) {
  s.Drawing([&](Painter& p, Pixel c) { DrawPoint(p, s.fields.x, s.fields.y, c); });
}

void DrawLineTo(const Step& s) {
  s.Drawing([&](Painter& p, Pixel c) { DrawLine(p, s.fields.x, s.fields.y, s.fields.x2, s.fields.y2, c); });
}

void DrawBox(const Step& s) {
  if (!s.PositiveOrWarn(s.fields.width, s.fields.height)) return;
  const bool filled = s.fields.shapeParam != 0;
  const bool rect = s.decoded.code == static_cast<int32_t>(CommandCode::DrawRect);
  s.Drawing([&](Painter& p, Pixel c) {
    if (rect) DrawRect(p, s.fields.x, s.fields.y, s.fields.width, s.fields.height, filled, c);
    else DrawEllipse(p, s.fields.x, s.fields.y, s.fields.width, s.fields.height, filled, c);
  });
}

void DrawString(const Step& s) {
  const int32_t size = s.fields.textParam <= 0 ? kDefaultFontSize : std::min(s.fields.textParam, kMaxFontSize);
  // Every encoding reads a byte or more as one character: a string that
  // cannot reach the clip is not even read.
  s.Drawing([&](Painter& p, Pixel c) {
    if (TextCanReach(p.clip(), s.fields.x, s.fields.y, size, s.decoded.string.size())) {
      DrawText(p, s.fields.x, s.fields.y, size, s.Text(s.decoded.string), c);
    }
  });
}

void DrawImageAtItsSize(const Step& s) {
  const auto image = s.ImageAt(s.decoded.string);
  const int64_t w = image ? image->width : kPlaceholderSide, h = image ? image->height : kPlaceholderSide;
  s.Drawing([&](Painter& p, Pixel) { DrawImage(p, image.get(), s.fields.x, s.fields.y, w, h, 255); });
}

void DrawImageScaled(const Step& s) {
  if (!s.PositiveOrWarn(s.fields.width, s.fields.height)) return;
  const auto image = s.ImageAt(s.decoded.string);
  s.Drawing([&](Painter& p, Pixel) {
    DrawImage(p, image.get(), s.fields.x, s.fields.y, s.fields.width, s.fields.height, Channel(s.fields.alpha));
  });
}

void DrawClear(const Step& s) {
  s.Drawing([](Painter& p, Pixel) { p.Clear(); });
}

void CreateSprite(const Step& s) {
  const int32_t width = s.fields.width, height = s.fields.height;
  if (s.decoded.string.empty()) {
    s.Warn("no name (or one of 128 bytes or more); not created");
    return;
  }
  if (!s.PositiveOrWarn(width, height)) return;
  if (width > kMaxSide || height > kMaxSide) {
    s.Warn("size " + Size(width, height) + " is over the limit of " + std::to_string(kMaxSide) + " per side");
    return;
  }
  const Sprite* old = s.Named(s.decoded.string);
  const int64_t freed = old != nullptr ? int64_t{old->width} * old->height : 0;
  if (old == nullptr && s.scene.sprites.size() >= kMaxSprites) {
    s.Warn("over the limit of " + std::to_string(kMaxSprites) + " sprites; not created");
    return;
  }
  if (s.scene.spritePixels - freed + int64_t{width} * height > kMaxSpritePixels) {
    s.Warn("over the limit of " + std::to_string(kMaxSpritePixels) + " sprite pixels in all; not created");
    return;
  }
  // Re-creating a name replaces the sprite; clients drawing on it go on with the new one.
  std::vector<int64_t> drawing;
  if (old != nullptr) {
    for (const auto& [number, state] : s.scene.clients) {
      if (state.sprite == old->id) drawing.push_back(number);
    }
    s.Dispose(old->id);
  }
  Sprite sprite;
  sprite.id = s.scene.nextSpriteId++;
  sprite.name = std::string(s.decoded.string);
  sprite.nameText = s.Text(s.decoded.string);
  sprite.width = width;
  sprite.height = height;
  sprite.layer = Layer(width, height);
  s.scene.spritePixels += int64_t{width} * height;
  for (const int64_t number : drawing) s.scene.clients[number].sprite = sprite.id;
  s.ChangedSprite(sprite);
  s.scene.sprites.push_back(std::move(sprite));
}

void DisposeSprite(const Step& s) {
  if (const Sprite* sprite = s.Named(s.decoded.string)) {
    s.Dispose(sprite->id);
  } else {
    s.Warn("no sprite named \"" + s.Text(s.decoded.string) + "\"; nothing changed");
  }
}

void DisposeCurrentSprite(const Step& s) {
  if (const Sprite* sprite = s.CurrentOrWarn()) s.Dispose(sprite->id);
}

void DisposeAllSprites(const Step& s) {
  while (!s.scene.sprites.empty()) s.Dispose(s.scene.sprites.back().id);
}

void SetEditSprite(const Step& s) {
  const Sprite* sprite = s.decoded.string.empty() ? nullptr : s.Named(s.decoded.string);
  if (sprite == nullptr && !s.decoded.string.empty()) {
    s.Warn("no sprite named \"" + s.Text(s.decoded.string) + "\"; none is current");
  }
  s.own.sprite = sprite != nullptr ? sprite->id : 0;
}

void SetBound(const Step& s) {
  if (Sprite* sprite = s.CurrentOrWarn()) s.Update(*sprite, [&](Sprite& p) { p.x = s.fields.x, p.y = s.fields.y; });
}

void SetOPoint(const Step& s) {
  if (Sprite* sprite = s.CurrentOrWarn()) s.Update(*sprite, [&](Sprite& p) { p.ox = s.fields.x, p.oy = s.fields.y; });
}

void SetZ(const Step& s) {
  if (Sprite* sprite = s.CurrentOrWarn()) s.Update(*sprite, [&](Sprite& p) { p.z = s.fields.x; });
}

void SetVisible(const Step& s) {
  if (Sprite* sprite = s.CurrentOrWarn()) {
    // Shown or hidden, it changes the screen where it lies.
    s.Changed(sprite->OnScreen());
    sprite->visible = s.fields.x != 0;
  }
}

void SetAlpha(const Step& s) {
  if (Sprite* sprite = s.CurrentOrWarn()) s.Update(*sprite, [&](Sprite& p) { p.alpha = Channel(s.fields.alpha); });
}

void Log(const Step& s) { s.Log(FindCommand(s.decoded.code)->level, s.Text(s.decoded.string)); }

void SetResolution(const Step& s) {
  const int32_t width = s.fields.width, height = s.fields.height;
  if (!s.PositiveOrWarn(width, height)) return;
  if (width > kMaxSide || height > kMaxSide) {
    s.Warn("resolution " + Size(width, height) + " is over the limit of " + std::to_string(kMaxSide) +
           " per side; nothing changed");
    return;
  }
  const Box before{0, 0, s.scene.width, s.scene.height};
  s.scene.width = width;
  s.scene.height = height;
  s.scene.screen.Resize(width, height);
  s.scene.damage = Scene::Damaged(width, height);
  s.scene.changed = s.scene.changed.Union(before).Union({0, 0, width, height});
  if (s.watch != nullptr) s.watch->changed = true;
}

void SetBackground(const Step& s) {
  if (s.decoded.string.empty()) {
    s.scene.background.reset();
  } else {
    s.scene.background = Background{s.ImageAt(s.decoded.string), s.Text(s.decoded.string), Channel(s.fields.alpha)};
  }
  s.Changed({0, 0, s.scene.width, s.scene.height});
}

void SetEncoding(const Step& s) { s.own.encoding = NextEncoding(s.decoded, s.own.encoding); }

// Each command's handler, by code.
constexpr std::array<Handler, kMaxCode + 1> kHandlers = [] {
  std::array<Handler, kMaxCode + 1> h{};
  using enum CommandCode;
  const auto at = [&](CommandCode code) -> Handler& { return h[size_t(code)]; };
  at(SetColor) = ::SetColor;
  at(DrawPixel) = ::DrawPixel;
  at(DrawLine) = DrawLineTo;
  at(DrawRect) = DrawBox;
  at(DrawEllipse) = DrawBox;
  at(DrawString) = ::DrawString;
  at(DrawImage) = DrawImageAtItsSize;
  at(DrawImageScaled) = ::DrawImageScaled;
  at(DrawClear) = ::DrawClear;
  at(CreateSprite) = ::CreateSprite;
  at(DisposeSprite) = ::DisposeSprite;
  at(DisposeCurrentSprite) = ::DisposeCurrentSprite;
  at(DisposeAllSprites) = ::DisposeAllSprites;
  at(SetEditSprite) = ::SetEditSprite;
  at(SetBound) = ::SetBound;
  at(SetZ) = ::SetZ;
  at(SetVisible) = ::SetVisible;
  at(SetAlpha) = ::SetAlpha;
  at(SetOPoint) = ::SetOPoint;
  for (const CommandInfo& command : kCommands) {
    if (command.level != nullptr) at(command.code) = Log;
  }
  at(SetResolution) = ::SetResolution;
  at(SetBackground) = ::SetBackground;
  at(SetEncoding) = ::SetEncoding;
  return h;
}();

constexpr bool EveryCommandHandled() {
  for (const CommandInfo& command : kCommands) {
    if (kHandlers[size_t(command.code)] == nullptr) return false;
  }
  return true;
}
static_assert(EveryCommandHandled(), "a command in VESPRINE_COMMANDS has no handler in kHandlers");

// The state of `client`, made anew when it is not known; past kMaxClients
// (a session file may name any number) the lowest-numbered goes first.
ClientState& Known(Scene& scene, int64_t client) {
  const auto found = scene.clients.find(client);
  if (found != scene.clients.end()) return found->second;
  if (scene.clients.size() >= kMaxClients) scene.clients.erase(scene.clients.begin());
  return scene.clients[client];
}

}  // namespace

std::string_view ImagePath(const Decoded& decoded) {
  if (!decoded.error.empty() || decoded.string.empty()) return {};
  switch (static_cast<CommandCode>(decoded.code)) {
    case CommandCode::DrawImage:
    case CommandCode::SetBackground:
      return decoded.string;
    case CommandCode::DrawImageScaled:  // as DrawImageScaled's handler reads it
      return decoded.fields.width > 0 && decoded.fields.height > 0 ? decoded.string : std::string_view();
    default:
      return {};
  }
}

void ApplyMessage(Scene& scene, int64_t client, const Decoded& decoded, int64_t time, const ImageFound* image,
                  Watch* watch) {
  ++scene.messages;
  if (!decoded.error.empty()) {
    ++scene.malformed;
    return;
  }
  const Handler handler = kHandlers[size_t(decoded.code)];
  if (handler != nullptr) {
    handler(Step{scene, client, decoded, decoded.fields, time, image, watch, Known(scene, client)});
  }
}

void ClientJoined(Scene& scene, int64_t client) { Known(scene, client) = ClientState{}; }

void ClientLeft(Scene& scene, int64_t client) { scene.clients.erase(client); }

void ComposeDamage(Scene& scene, Layer& frame) {
  if (frame.width() != scene.width || frame.height() != scene.height) {
    frame = Layer(scene.width, scene.height);
    scene.damage = Scene::Damaged(scene.width, scene.height);
  }
  Compose(CompositionOf(scene), scene.damage, frame);
  scene.damage.Reset(scene.width, scene.height);
}

Composition CompositionOf(const Scene& scene) {
  Composition c;
  c.width = scene.width;
  c.height = scene.height;
  if (scene.background) {
    c.background = true;
    c.backgroundImage = scene.background->image.get();
    c.backgroundAlpha = scene.background->alpha;
  }
  c.screen = &scene.screen;
  std::vector<const Sprite*> shown;
  for (const Sprite& sprite : scene.sprites) {
    if (sprite.visible && sprite.alpha > 0) shown.push_back(&sprite);
  }
  // By z, equal z in creation order.
  std::stable_sort(shown.begin(), shown.end(), [](const Sprite* a, const Sprite* b) { return a->z < b->z; });
  for (const Sprite* sprite : shown) {
    const Box at = sprite->OnScreen();
    c.sprites.push_back({&sprite->layer, at.x0, at.y0, sprite->alpha});
  }
  return c;
}

size_t SceneBytes(const Scene& scene) {
  return sizeof(Scene) + scene.logBytes + scene.logs.size() * (sizeof(LogLine) + 32) +
         scene.sprites.size() * (sizeof(Sprite) + 64) + scene.clients.size() * 64;
}
