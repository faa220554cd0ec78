// What the renderer's tests share: messages by the export that sends them,
// a scene fed those messages as the monitor applies them (its images read
// from the repository's examples folder), a summary of a scene's state, and
// golden PNG files.
//
// Golden files live in tests/golden/<name>.png. A test compares its picture
// with its golden file byte for byte. To write (or rewrite) them, run the
// tests with VESPRINE_WRITE_GOLDEN=1 in the environment (for the pictures
// alone: --gtest_filter='Shapes.*:Blending.*:Clearing.*:Text.*:Images.*:Composition.*'),
// then look at every picture written before committing it.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "messages.h"
#include "pixels/layer.h"
#include "input/session.h"
#include "render/images.h"
#include "pipeline/pipeline.h"
#include "render/renderer.h"
#include "scene/scene.h"
#include "timeline/timeline.h"

// One message for each command, by its export's name.
namespace msg {
Bytes Colour(int32_t r, int32_t g, int32_t b, int32_t a = 255);
Bytes Point(int32_t x, int32_t y);
Bytes Line(int32_t x, int32_t y, int32_t x2, int32_t y2);
Bytes Rect(int32_t x, int32_t y, int32_t w, int32_t h, bool filled);
Bytes Ellipse(int32_t x, int32_t y, int32_t w, int32_t h, bool filled);
Bytes Text(int32_t x, int32_t y, const std::string& text, int32_t size);
Bytes Image(const std::string& path, int32_t x, int32_t y);
Bytes ImageScaled(const std::string& path, int32_t x, int32_t y, int32_t w, int32_t h, int32_t alpha);
Bytes Clear();
Bytes Create(const std::string& name, int32_t w, int32_t h);
Bytes Dispose(const std::string& name);
Bytes DisposeCurrent();
Bytes DisposeAll();
Bytes Edit(const std::string& name);
Bytes Bound(int32_t x, int32_t y);
Bytes Z(int32_t z);
Bytes Visible(int32_t visible);
Bytes Alpha(int32_t alpha);
Bytes OPoint(int32_t x, int32_t y);
Bytes Log(char level, const std::string& text);  // level: one of "VDIWEC"
Bytes Resolution(int32_t w, int32_t h);
Bytes Background(const std::string& path, int32_t alpha);
Bytes ShiftJis(bool on);  // SetEncodingShiftJIS, or SetEncodingUTF8
}  // namespace msg

// A folder of the source tree (made at build time) as this process can open
// it: under Wine, a Linux path is tried on drive Z: when it is not found.
std::string SourcePath(const std::string& path);
std::string ExamplesFolder();

// A scene fed real messages, as the monitor applies them.
class Screen {
 public:
  Screen() = default;
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  void Send(const Bytes& message, int64_t client = 1);
  void Send(std::initializer_list<Bytes> messages, int64_t client = 1);
  // The composed screen.
  Layer Frame() const;
  std::string Png(bool overlay = false) const;
  // Pixel (x, y) as a viewer sees it over the view's black backdrop.
  Pixel OverBlack(int32_t x, int32_t y) const;
  // Each probe's pixel over black as expected; otherwise the ones that are not.
  struct Probe {
    int32_t x, y;
    Pixel expected;
  };
  testing::AssertionResult Shows(std::initializer_list<Probe> probes) const;
  // Rows of `w` characters from (x, y): '#' where the shown pixel is not
  // black, '.' where it is.
  std::vector<std::string> Mask(int32_t x, int32_t y, int32_t w, int32_t h) const;
  // Every pixel (x + i, y + j) of a w × h region shown as expected(i, j);
  // otherwise how many differ, and the first few.
  testing::AssertionResult RegionShows(int32_t x, int32_t y, int32_t w, int32_t h,
                                       const std::function<Pixel(int32_t, int32_t)>& expected) const;
  // The warnings logged so far, in order.
  std::vector<std::string> Warnings() const;

  ImageFiles images{ExamplesFolder()};
  Scene scene;
};

// One entry of a session, as the pipe's thread hands it to the timeline.
struct SessionStep {
  SessionEntry::Kind kind;
  int64_t client;
  int64_t time;  // microseconds since the epoch
  Bytes bytes;
};

// The monitor's pipeline, its renderer reading the timeline as the monitor
// runs them, and every entry added, for replaying them afresh.
class Live {
 public:
  // The renderer starts reading at once, or when told to.
  explicit Live(size_t bound = kMaxTimelineBytes, bool start = true);
  Live(const Live&) = delete;
  Live& operator=(const Live&) = delete;

  void Join(int64_t client);
  void Leave(int64_t client);
  void Send(const Bytes& message, int64_t client = 1);
  // Waits until the renderer has applied every message sent; false when
  // it has not after a minute.
  bool Rendered();
  int64_t Messages() const { return messages_; }

  Pipeline pipeline;
  Timeline& timeline = pipeline.timeline;
  Checkpoints& checkpoints = pipeline.checkpoints;
  ImageFiles& images = pipeline.images;
  Renderer& renderer = pipeline.renderer;
  std::vector<SessionStep> steps;

 private:
  void Add(SessionEntry::Kind kind, int64_t client, const Bytes& bytes);
  int64_t messages_ = 0;
};

// The same entries applied afresh to a scene of its own, one by one.
class Replay {
 public:
  explicit Replay(const std::vector<SessionStep>& steps) : steps_(steps) {}
  // The scene right after message `message`: every entry up to that
  // message, and none after it.
  const Scene& At(int64_t message);
  // The screen composed, as a PNG file.
  std::string Png(bool overlay = false) const;
  // Pixel (x, y) as shown over black.
  Pixel OverBlack(int32_t x, int32_t y) const;

 private:
  const std::vector<SessionStep>& steps_;
  ImageFiles images_{ExamplesFolder()};
  Scene scene_;
  size_t next_ = 0;
};

// Each message of the steps as the monitor prints it ([m] for message m,
// [0] empty): in its client's encoding at the time.
std::vector<std::string> PrintedLines(const std::vector<SessionStep>& steps);

// A composed frame as a PNG file.
std::string FramePng(const Layer& frame, bool overlay = false);

// Everything a scene holds but its pixels, one fact a line, for comparing
// two scenes with a readable difference.
std::string StateOf(const Scene& scene);

// "(r,g,b,a)", for messages; gtest prints a Pixel so too.
std::string Rgba(Pixel p);
void PrintTo(const Pixel& p, std::ostream* out);
constexpr Pixel Opaque(uint8_t r, uint8_t g, uint8_t b) { return {r, g, b, 255}; }

// A whole file's bytes ("" when it cannot be read).
std::string ReadFile(const std::string& path);
// A PNG file's pixels, straight RGBA row by row; false when it does not decode.
bool DecodePng(const std::string& png, int32_t& width, int32_t& height, std::vector<Pixel>& pixels);

// Two PNG files with the same bytes; otherwise how many pixels differ, and
// the first few with both colours.
testing::AssertionResult SamePng(const std::string& actual, const std::string& expected);
// `png` and tests/golden/<name>.png, compared or, with
// VESPRINE_WRITE_GOLDEN=1, written.
testing::AssertionResult MatchesGolden(const std::string& name, const std::string& png);
