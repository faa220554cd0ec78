#include "render_support.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

#include "input/decode.h"
#include "pixels/compose.h"
#include "pixels/png.h"
#include "protocol/protocol.h"
#include "render/replay.h"

// Decodes the pictures compared, to say how they differ.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb/stb_image.h>

namespace {

int32_t Code(CommandCode code) { return static_cast<int32_t>(code); }

}  // namespace

namespace msg {

using enum CommandCode;

Bytes Colour(int32_t r, int32_t g, int32_t b, int32_t a) {
  return ShortMessage(Code(SetColor), {{at::color1, r}, {at::color2, g}, {at::color3, b}, {at::alpha, a}});
}
Bytes Point(int32_t x, int32_t y) { return ShortMessage(Code(DrawPixel), {{at::x, x}, {at::y, y}}); }
Bytes Line(int32_t x, int32_t y, int32_t x2, int32_t y2) {
  return ShortMessage(Code(DrawLine), {{at::x, x}, {at::y, y}, {at::x2, x2}, {at::y2, y2}});
}
Bytes Rect(int32_t x, int32_t y, int32_t w, int32_t h, bool filled) {
  return ShortMessage(Code(DrawRect),
                      {{at::x, x}, {at::y, y}, {at::width, w}, {at::height, h}, {at::shapeParam, filled}});
}
Bytes Ellipse(int32_t x, int32_t y, int32_t w, int32_t h, bool filled) {
  return ShortMessage(Code(DrawEllipse),
                      {{at::x, x}, {at::y, y}, {at::width, w}, {at::height, h}, {at::shapeParam, filled}});
}
Bytes Text(int32_t x, int32_t y, const std::string& text, int32_t size) {
  return TextMessage(Code(DrawString), text, {{at::x, x}, {at::y, y}, {at::textParam, size}});
}
Bytes Image(const std::string& path, int32_t x, int32_t y) {
  return TextMessage(Code(DrawImage), path, {{at::x, x}, {at::y, y}});
}
Bytes ImageScaled(const std::string& path, int32_t x, int32_t y, int32_t w, int32_t h, int32_t alpha) {
  return TextMessage(Code(DrawImageScaled), path,
                     {{at::x, x}, {at::y, y}, {at::width, w}, {at::height, h}, {at::alpha, alpha}});
}
Bytes Clear() { return ShortMessage(Code(DrawClear)); }
Bytes Create(const std::string& name, int32_t w, int32_t h) {
  return NameMessage(Code(CreateSprite), name, {{at::width, w}, {at::height, h}});
}
Bytes Dispose(const std::string& name) { return NameMessage(Code(DisposeSprite), name); }
Bytes DisposeCurrent() { return ShortMessage(Code(DisposeCurrentSprite)); }
Bytes DisposeAll() { return ShortMessage(Code(DisposeAllSprites)); }
Bytes Edit(const std::string& name) { return NameMessage(Code(SetEditSprite), name); }
Bytes Bound(int32_t x, int32_t y) { return ShortMessage(Code(SetBound), {{at::x, x}, {at::y, y}}); }
Bytes Z(int32_t z) { return ShortMessage(Code(SetZ), {{at::x, z}}); }
Bytes Visible(int32_t visible) { return ShortMessage(Code(SetVisible), {{at::x, visible}}); }
Bytes Alpha(int32_t alpha) { return ShortMessage(Code(SetAlpha), {{at::alpha, alpha}}); }
Bytes OPoint(int32_t x, int32_t y) { return ShortMessage(Code(SetOPoint), {{at::x, x}, {at::y, y}}); }
Bytes Log(char level, const std::string& text) {
  const std::string levels = "VDIWEC";
  return LogMessage(Code(LogV) + static_cast<int32_t>(levels.find(level)), text);
}
Bytes Resolution(int32_t w, int32_t h) { return ShortMessage(Code(SetResolution), {{at::width, w}, {at::height, h}}); }
Bytes Background(const std::string& path, int32_t alpha) {
  return TextMessage(Code(SetBackground), path, {{at::alpha, alpha}});
}
Bytes ShiftJis(bool on) { return ShortMessage(Code(SetEncoding), {{at::x, on ? 1 : 0}}); }

}  // namespace msg

std::string SourcePath(const std::string& path) {
  std::error_code error;
  if (std::filesystem::exists(path, error)) return path;
  const std::string on_z = "Z:" + path;
  if (std::filesystem::exists(on_z, error)) return on_z;
  return path;
}

std::string ExamplesFolder() { return SourcePath(VESPRINE_EXAMPLES); }

void Screen::Send(const Bytes& message, int64_t client) {
  ApplyEntry(scene, SessionEntry::kMessage, client, 1700000000000000, message, images);
}

void Screen::Send(std::initializer_list<Bytes> messages, int64_t client) {
  for (const Bytes& message : messages) Send(message, client);
}

Layer Screen::Frame() const {
  Layer frame(scene.width, scene.height);
  Compose(CompositionOf(scene), Scene::Damaged(scene.width, scene.height), frame);
  return frame;
}

std::string Screen::Png(bool overlay) const { return FramePng(Frame(), overlay); }

Pixel Screen::OverBlack(int32_t x, int32_t y) const {
  Pixel p = ComposePixel(CompositionOf(scene), x, y);
  p.a = 255;
  return p;
}

testing::AssertionResult Screen::Shows(std::initializer_list<Probe> probes) const {
  std::string wrong;
  for (const Probe& probe : probes) {
    const Pixel shown = OverBlack(probe.x, probe.y);
    if (!(shown == probe.expected))
      wrong += " (" + std::to_string(probe.x) + ", " + std::to_string(probe.y) + ") " + Rgba(shown) + " not " +
               Rgba(probe.expected) + ";";
  }
  if (wrong.empty()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "pixels over black:" << wrong;
}

std::vector<std::string> Screen::Mask(int32_t x, int32_t y, int32_t w, int32_t h) const {
  std::vector<std::string> rows;
  for (int32_t j = 0; j < h; ++j) {
    std::string row;
    for (int32_t i = 0; i < w; ++i) row += OverBlack(x + i, y + j) == Opaque(0, 0, 0) ? '.' : '#';
    rows.push_back(row);
  }
  return rows;
}

testing::AssertionResult Screen::RegionShows(int32_t x, int32_t y, int32_t w, int32_t h,
                                             const std::function<Pixel(int32_t, int32_t)>& expected) const {
  int differ = 0;
  std::ostringstream first;
  for (int32_t j = 0; j < h; ++j) {
    for (int32_t i = 0; i < w; ++i) {
      const Pixel shown = OverBlack(x + i, y + j), wanted = expected(i, j);
      if (shown == wanted) continue;
      if (++differ <= 5) {
        first << "\n  (" << x + i << ", " << y + j << ") is " << Rgba(shown) << ", expected " << Rgba(wanted);
      }
    }
  }
  if (differ == 0) return testing::AssertionSuccess();
  return testing::AssertionFailure() << differ << " of " << w * h << " pixels differ; the first:" << first.str();
}

std::vector<std::string> Screen::Warnings() const {
  std::vector<std::string> warnings;
  for (const auto& line : scene.logs) {
    if (line->level == "warning") warnings.push_back(line->text);
  }
  return warnings;
}

Live::Live(size_t bound, bool start) : pipeline(ExamplesFolder(), bound) {
  if (start) renderer.Start();
}

void Live::Add(SessionEntry::Kind kind, int64_t client, const Bytes& bytes) {
  const int64_t time = 1700000000000000 + int64_t(steps.size()) * 1000;
  pipeline.Add(kind, client, time, bytes.data(), bytes.size(), bytes.size());
  steps.push_back({kind, client, time, bytes});
}

void Live::Join(int64_t client) { Add(SessionEntry::kJoined, client, {}); }
void Live::Leave(int64_t client) { Add(SessionEntry::kLeft, client, {}); }

void Live::Send(const Bytes& message, int64_t client) {
  Add(SessionEntry::kMessage, client, message);
  ++messages_;
}

bool Live::Rendered() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (renderer.Applied() < messages_) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

const Scene& Replay::At(int64_t message) {
  if (message < scene_.messages) {
    scene_ = Scene();
    next_ = 0;
  }
  while (scene_.messages < message && next_ < steps_.size()) {
    const SessionStep& step = steps_[next_++];
    ApplyEntry(scene_, step.kind, step.client, step.time, step.bytes, images_);
  }
  return scene_;
}

std::string Replay::Png(bool overlay) const {
  Layer frame(scene_.width, scene_.height);
  Compose(CompositionOf(scene_), Scene::Damaged(scene_.width, scene_.height), frame);
  return FramePng(frame, overlay);
}

Pixel Replay::OverBlack(int32_t x, int32_t y) const {
  Pixel p = ComposePixel(CompositionOf(scene_), x, y);
  p.a = 255;
  return p;
}

std::vector<std::string> PrintedLines(const std::vector<SessionStep>& steps) {
  std::vector<std::string> lines{""};
  std::map<int64_t, Encoding> encodings;
  for (const SessionStep& step : steps) {
    if (step.kind == SessionEntry::kLeft) encodings.erase(step.client);
    if (step.kind != SessionEntry::kMessage) continue;
    const Decoded decoded = Decode(step.bytes.data(), step.bytes.size());
    Encoding& encoding = encodings[step.client];
    lines.push_back(FormatLine(step.client, decoded, step.bytes.size(), encoding));
    encoding = NextEncoding(decoded, encoding);
  }
  return lines;
}

std::string FramePng(const Layer& frame, bool overlay) {
  return EncodePng(frame.width(), frame.height(), Picture(frame, overlay));
}

std::string StateOf(const Scene& scene) {
  std::ostringstream out;
  out << "screen " << scene.width << "x" << scene.height << ", " << scene.messages << " messages, " << scene.malformed
      << " malformed\n";
  if (scene.background) {
    out << "background \"" << scene.background->path << "\" alpha " << int{scene.background->alpha}
        << (scene.background->image ? "" : " (placeholder)") << "\n";
  }
  for (const Sprite& s : scene.sprites) {
    out << "sprite " << s.id << " \"" << s.nameText << "\" " << s.width << "x" << s.height << " at " << s.x << "," << s.y
        << " o-point " << s.ox << "," << s.oy << " z " << s.z << (s.visible ? " visible" : " hidden") << " alpha "
        << int{s.alpha} << "\n";
  }
  for (const auto& [client, state] : scene.clients) {
    out << "client " << client << " colour " << int{state.colour.r} << "," << int{state.colour.g} << ","
        << int{state.colour.b} << "," << int{state.colour.a}
        << (state.encoding == Encoding::kUtf8 ? " UTF-8" : " Shift-JIS") << " sprite " << state.sprite << "\n";
  }
  for (const auto& line : scene.logs) {
    out << "log " << line->message << " #" << line->client << " " << line->level << " " << line->time << " \""
        << line->text << "\"\n";
  }
  out << "next sprite " << scene.nextSpriteId << ", sprite pixels " << scene.spritePixels << ", log bytes "
      << scene.logBytes << "\n";
  return out.str();
}

std::string Rgba(Pixel p) {
  return "(" + std::to_string(p.r) + "," + std::to_string(p.g) + "," + std::to_string(p.b) + "," +
         std::to_string(p.a) + ")";
}

void PrintTo(const Pixel& p, std::ostream* out) { *out << Rgba(p); }

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

bool DecodePng(const std::string& png, int32_t& width, int32_t& height, std::vector<Pixel>& pixels) {
  int channels = 0;
  stbi_uc* rgba = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()), static_cast<int>(png.size()),
                                        &width, &height, &channels, 4);
  if (rgba == nullptr) return false;
  pixels.resize(size_t(width) * size_t(height));
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = {rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]};
  }
  stbi_image_free(rgba);
  return true;
}

testing::AssertionResult SamePng(const std::string& actual, const std::string& expected) {
  if (actual == expected) return testing::AssertionSuccess();
  int32_t aw = 0, ah = 0, ew = 0, eh = 0;
  std::vector<Pixel> a, e;
  if (!DecodePng(actual, aw, ah, a)) return testing::AssertionFailure() << "the picture is no PNG file";
  if (!DecodePng(expected, ew, eh, e)) return testing::AssertionFailure() << "the expected picture is no PNG file";
  if (aw != ew || ah != eh) {
    return testing::AssertionFailure() << "a " << aw << "x" << ah << " picture, expected " << ew << "x" << eh;
  }
  size_t differ = 0;
  std::ostringstream first;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == e[i]) continue;
    if (++differ <= 5) {
      first << "\n  (" << i % size_t(aw) << ", " << i / size_t(aw) << ") is " << Rgba(a[i]) << ", expected "
            << Rgba(e[i]);
    }
  }
  if (differ == 0) {
    return testing::AssertionFailure() << "the same pixels, but not the same bytes (" << actual.size()
                                       << " bytes, expected " << expected.size() << ")";
  }
  return testing::AssertionFailure() << differ << " of " << a.size() << " pixels differ; the first:"
                                     << first.str();
}

testing::AssertionResult MatchesGolden(const std::string& name, const std::string& png) {
  const std::string path = SourcePath(VESPRINE_GOLDEN) + "/" + name + ".png";
  const char* write = std::getenv("VESPRINE_WRITE_GOLDEN");
  if (write != nullptr && std::string(write) == "1") {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(png.data(), static_cast<std::streamsize>(png.size()));
    if (!file) return testing::AssertionFailure() << "cannot write " << path;
    return testing::AssertionSuccess();
  }
  const std::string expected = ReadFile(path);
  if (expected.empty()) {
    return testing::AssertionFailure() << "no golden file " << path
                                       << " (run with VESPRINE_WRITE_GOLDEN=1 to write it, then look at it)";
  }
  testing::AssertionResult same = SamePng(png, expected);
  if (!same) same << "\n  (compared with " << path << ")";
  return same;
}
