#include "scene/scene.h"

#include <algorithm>
#include <utility>

#include "protocol/commands.h"

namespace {

int32_t Field(const Decoded& decoded, std::string_view name) {
  for (const auto& [field, value] : decoded.integers) {
    if (name == field) return value;
  }
  return 0;
}

uint8_t Channel(int32_t value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

std::string Size(int32_t width, int32_t height) { return std::to_string(width) + "x" + std::to_string(height); }

// Applies one message: the state the handlers share while it runs.
struct Step {
  Scene& scene;
  int client;
  const Decoded& decoded;
  int64_t time;
  const ImageChecker& check;
  std::vector<Change>& changes;
  ClientState& own;  // the client's state, looked up once per message

  ClientState& State() const { return own; }

  void Log(std::string level, std::string text) const {
    LogLine line;
    line.message = scene.messages;
    line.client = level == "warning" ? 0 : client;
    line.level = std::move(level);
    line.text = std::move(text);
    line.time = time;
    scene.logBytes += line.text.size();
    scene.logs.push_back(line);
    while (scene.logs.size() > kMaxLogLines || scene.logBytes > kMaxLogBytes) {
      scene.logBytes -= scene.logs.front().text.size();
      scene.logs.pop_front();
    }
    Change change(Change::kLog);
    change.log = std::move(line);
    changes.push_back(std::move(change));
  }

  void Warn(const std::string& text) const {
    Log("warning", decoded.command + " from client " + std::to_string(client) + ": " + text);
  }

  Sprite* Current() const {
    const int id = State().sprite;
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
    Sprite* sprite = Current();
    if (sprite == nullptr) Warn("no current sprite; nothing changed");
    return sprite;
  }

  bool PositiveOrWarn(int32_t width, int32_t height) const {
    if (width > 0 && height > 0) return true;
    Warn("size " + Size(width, height) + " is not positive; nothing changed");
    return false;
  }

  void Emit(Change::Kind kind, int id) const {
    Change change(kind);
    change.id = id;
    changes.push_back(std::move(change));
  }

  void EmitSprite(const Sprite& sprite) const {
    // A run of changes to one sprite (a host moving it message after
    // message) goes out as its latest state.
    if (!changes.empty() && changes.back().kind == Change::kSprite && changes.back().id == sprite.id) {
      changes.back().sprite = sprite;
      return;
    }
    Change change(Change::kSprite);
    change.id = sprite.id;
    change.sprite = sprite;
    changes.push_back(std::move(change));
  }

  void EmitClient(int number) const {
    Change change(Change::kClient);
    change.id = number;
    change.client = scene.clients[number];
    changes.push_back(std::move(change));
  }

  void Clear(Layer& layer) const {
    scene.historyBytes -= layer.bytes;
    layer.ops.clear();
    layer.bytes = 0;
    layer.since = 0;
    layer.width = scene.width;
    layer.height = scene.height;
  }

  // Keeps the history within its bound by dropping the oldest ops of the
  // layer that holds the most, down to nine tenths of the bound.
  void Trim() const {
    if (scene.historyBytes <= kMaxHistoryBytes) return;
    while (scene.historyBytes > kMaxHistoryBytes / 10 * 9) {
      Layer* largest = &scene.screen;
      for (Sprite& sprite : scene.sprites) {
        if (sprite.layer.bytes > largest->bytes) largest = &sprite.layer;
      }
      for (int i = 0; i < 256 && !largest->ops.empty() && scene.historyBytes > kMaxHistoryBytes / 10 * 9; ++i) {
        const DrawOp& oldest = largest->ops.front();
        if (oldest.kind == OpKind::kSize) {
          largest->width = oldest.width;
          largest->height = oldest.height;
        }
        const size_t bytes = OpBytes(oldest);
        largest->bytes -= bytes;
        scene.historyBytes -= bytes;
        largest->ops.pop_front();
      }
      largest->since = largest->ops.empty() ? scene.messages + 1 : largest->ops.front().message;
    }
  }

  // Draws on the client's current sprite, else on the screen's layer.
  void Draw(DrawOp op) const { Draw(std::move(op), Current()); }

  void Draw(DrawOp op, Sprite* sprite) const {
    Layer& layer = sprite != nullptr ? sprite->layer : scene.screen;
    const int32_t width = sprite != nullptr ? sprite->width : scene.width;
    const int32_t height = sprite != nullptr ? sprite->height : scene.height;
    op.message = scene.messages;
    // What an opaque fill of the whole surface covers no longer matters.
    const bool covers = op.kind == OpKind::kRect && op.filled && op.color.a == 255 && op.x <= 0 && op.y <= 0 &&
                        int64_t{op.x} + op.width >= width && int64_t{op.y} + op.height >= height;
    if (op.kind == OpKind::kClear || covers) Clear(layer);
    Change change(Change::kOp);
    change.id = sprite != nullptr ? sprite->id : 0;
    change.op = op;
    if (op.kind != OpKind::kClear) {
      const size_t bytes = OpBytes(op);
      layer.bytes += bytes;
      scene.historyBytes += bytes;
      layer.ops.push_back(std::move(op));
      Trim();
    }
    changes.push_back(std::move(change));
  }

  // The id of the image at `path` (registered on first use), or 0 with a
  // warning when it cannot be drawn.
  int Image(std::string_view path) const {
    if (path.empty()) {
      Warn("no image path; drawn as a placeholder");
      return 0;
    }
    const ImageCheck found = check(std::string(path));
    const std::string shown = ToText(path, State().encoding);
    if (!found.error.empty()) {
      Warn("cannot draw image \"" + shown + "\": " + found.error + "; drawn as a placeholder");
      return 0;
    }
    if (const auto known = scene.imageIds.find(found.path); known != scene.imageIds.end()) return known->second;
    if (scene.images.size() >= kMaxImages) {
      Warn("more than " + std::to_string(kMaxImages) + " distinct images; \"" + shown + "\" drawn as a placeholder");
      return 0;
    }
    scene.images.push_back(found.path);
    const int id = static_cast<int>(scene.images.size());
    scene.imageIds.emplace(found.path, id);
    return id;
  }

  void DropSprite(int id) const {
    const auto at = std::find_if(scene.sprites.begin(), scene.sprites.end(), [&](const Sprite& s) { return s.id == id; });
    if (at == scene.sprites.end()) return;
    scene.historyBytes -= at->layer.bytes;
    scene.spritePixels -= int64_t{at->width} * at->height;
    scene.sprites.erase(at);
    Emit(Change::kDispose, id);
    for (auto& [number, state] : scene.clients) {
      if (state.sprite == id) {
        state.sprite = 0;
        EmitClient(number);
      }
    }
  }

  void CreateSprite() const {
    const int32_t width = Field(decoded, "width");
    const int32_t height = Field(decoded, "height");
    if (!PositiveOrWarn(width, height)) return;
    if (width > kMaxSide || height > kMaxSide) {
      Warn("size " + Size(width, height) + " is over the limit of " + std::to_string(kMaxSide) + " per side");
      return;
    }
    const Sprite* old = Named(decoded.string);
    const int64_t freed = old != nullptr ? int64_t{old->width} * old->height : 0;
    if (old == nullptr && scene.sprites.size() >= static_cast<size_t>(kMaxSprites)) {
      Warn("over the limit of " + std::to_string(kMaxSprites) + " sprites; not created");
      return;
    }
    if (scene.spritePixels - freed + int64_t{width} * height > kMaxSpritePixels) {
      Warn("over the limit of " + std::to_string(kMaxSpritePixels) + " sprite pixels in all; not created");
      return;
    }
    // Re-creating a name replaces the sprite; clients drawing on it go on with the new one.
    std::vector<int> drawing;
    if (old != nullptr) {
      for (const auto& [number, state] : scene.clients) {
        if (state.sprite == old->id) drawing.push_back(number);
      }
      DropSprite(old->id);
    }
    Sprite sprite;
    sprite.id = scene.nextSpriteId++;
    sprite.name = std::string(decoded.string);
    sprite.label = ToText(decoded.string, State().encoding);
    sprite.width = width;
    sprite.height = height;
    scene.spritePixels += int64_t{width} * height;
    scene.sprites.push_back(sprite);
    EmitSprite(sprite);
    for (const int number : drawing) {
      scene.clients[number].sprite = sprite.id;
      EmitClient(number);
    }
  }

  // An op of `kind` at the message's x and y, in the client's colour.
  DrawOp Op(OpKind kind) const {
    DrawOp op;
    op.kind = kind;
    op.x = Field(decoded, "x");
    op.y = Field(decoded, "y");
    op.color = State().color;
    return op;
  }

  // A rect, ellipse or scaled image: its size must be positive.
  bool Sized(DrawOp& op) const {
    op.width = Field(decoded, "width");
    op.height = Field(decoded, "height");
    return PositiveOrWarn(op.width, op.height);
  }

  void Run() const {
    switch (static_cast<CommandCode>(decoded.code)) {
      case CommandCode::SetColor:
        State().color = {Channel(Field(decoded, "color1")), Channel(Field(decoded, "color2")),
                         Channel(Field(decoded, "color3")), Channel(Field(decoded, "alpha"))};
        break;
      case CommandCode::DrawPixel:
        Draw(Op(OpKind::kPixel));
        break;
      case CommandCode::DrawLine: {
        DrawOp op = Op(OpKind::kLine);
        op.x2 = Field(decoded, "x2");
        op.y2 = Field(decoded, "y2");
        Draw(std::move(op));
        break;
      }
      case CommandCode::DrawRect:
      case CommandCode::DrawEllipse: {
        DrawOp op = Op(decoded.code == static_cast<int32_t>(CommandCode::DrawRect) ? OpKind::kRect : OpKind::kEllipse);
        op.filled = Field(decoded, "shapeParam") != 0;
        if (Sized(op)) Draw(std::move(op));
        break;
      }
      case CommandCode::DrawString: {
        DrawOp op = Op(OpKind::kText);
        const int32_t size = Field(decoded, "textParam");
        op.size = size <= 0 ? kDefaultFontSize : std::min(size, kMaxFontSize);
        op.text = ToText(decoded.string, State().encoding);
        Draw(std::move(op));
        break;
      }
      case CommandCode::DrawImage: {
        DrawOp op = Op(OpKind::kImage);
        op.image = Image(decoded.string);
        Draw(std::move(op));
        break;
      }
      case CommandCode::DrawImageScaled: {
        DrawOp op = Op(OpKind::kImage);
        if (!Sized(op)) break;
        op.opacity = Channel(Field(decoded, "alpha"));
        op.image = Image(decoded.string);
        Draw(std::move(op));
        break;
      }
      case CommandCode::DrawClear:
        Draw(Op(OpKind::kClear));
        break;
      case CommandCode::CreateSprite:
        CreateSprite();
        break;
      case CommandCode::DisposeSprite:
        if (const Sprite* sprite = Named(decoded.string)) {
          DropSprite(sprite->id);
        } else {
          Warn("no sprite named \"" + ToText(decoded.string, State().encoding) + "\"; nothing changed");
        }
        break;
      case CommandCode::DisposeCurrentSprite:
        if (const Sprite* sprite = CurrentOrWarn()) DropSprite(sprite->id);
        break;
      case CommandCode::DisposeAllSprites:
        while (!scene.sprites.empty()) DropSprite(scene.sprites.back().id);
        break;
      case CommandCode::SetEditSprite: {
        const Sprite* sprite = Named(decoded.string);
        if (sprite == nullptr && !decoded.string.empty()) {
          Warn("no sprite named \"" + ToText(decoded.string, State().encoding) + "\"; none is current");
        }
        State().sprite = sprite != nullptr ? sprite->id : 0;
        EmitClient(client);
        break;
      }
      case CommandCode::SetBound:
      case CommandCode::SetOPoint:
      case CommandCode::SetZ:
      case CommandCode::SetVisible:
      case CommandCode::SetAlpha:
        if (Sprite* sprite = CurrentOrWarn()) {
          SetProperty(*sprite);
          EmitSprite(*sprite);
        }
        break;
      case CommandCode::SetResolution: {
        const int32_t width = Field(decoded, "width");
        const int32_t height = Field(decoded, "height");
        if (!PositiveOrWarn(width, height)) break;
        if (width > kMaxSide || height > kMaxSide) {
          Warn("resolution " + Size(width, height) + " is over the limit of " + std::to_string(kMaxSide) +
               " per side; nothing changed");
          break;
        }
        scene.width = width;
        scene.height = height;
        DrawOp op;
        op.kind = OpKind::kSize;
        op.width = width;
        op.height = height;
        Draw(std::move(op), nullptr);
        break;
      }
      case CommandCode::SetBackground: {
        Change change(Change::kBackground);
        scene.hasBackground = !decoded.string.empty();
        if (scene.hasBackground) {
          scene.background.image = Image(decoded.string);
          scene.background.path = ToText(decoded.string, State().encoding);
          scene.background.alpha = Channel(Field(decoded, "alpha"));
        }
        change.hasBackground = scene.hasBackground;
        change.background = scene.background;
        changes.push_back(std::move(change));
        break;
      }
      case CommandCode::SetEncoding:
        State().encoding = NextEncoding(decoded, State().encoding);
        EmitClient(client);
        break;
      default:
        if (decoded.textPayload) Log(decoded.command.substr(3), ToText(decoded.string, State().encoding));
        break;
    }
  }

  void SetProperty(Sprite& sprite) const {
    switch (static_cast<CommandCode>(decoded.code)) {
      case CommandCode::SetBound:
        sprite.x = Field(decoded, "x");
        sprite.y = Field(decoded, "y");
        break;
      case CommandCode::SetOPoint:
        sprite.ox = Field(decoded, "x");
        sprite.oy = Field(decoded, "y");
        break;
      case CommandCode::SetZ:
        sprite.z = Field(decoded, "x");
        break;
      case CommandCode::SetVisible:
        sprite.visible = Field(decoded, "x") != 0;
        break;
      default:
        sprite.alpha = Channel(Field(decoded, "alpha"));
        break;
    }
  }
};

}  // namespace

size_t OpBytes(const DrawOp& op) { return sizeof(DrawOp) + op.text.size(); }

size_t ChangeBytes(const Change& change) { return sizeof(Change) + change.op.text.size() + change.log.text.size(); }

void ApplyMessage(Scene& scene, int client, const Decoded& decoded, int64_t time, const ImageChecker& check,
                  std::vector<Change>& changes) {
  ++scene.messages;
  if (!decoded.error.empty()) {
    ++scene.malformed;
    return;
  }
  Step{scene, client, decoded, time, check, changes, scene.clients[client]}.Run();
}

void ClientJoined(Scene& scene, int client, std::vector<Change>& changes) {
  scene.clients[client] = ClientState{};
  Change change(Change::kClient);
  change.id = client;
  changes.push_back(std::move(change));
}

void ClientLeft(Scene& scene, int client, std::vector<Change>& changes) {
  scene.clients.erase(client);
  Change change(Change::kClientLeft);
  change.id = client;
  changes.push_back(std::move(change));
}
