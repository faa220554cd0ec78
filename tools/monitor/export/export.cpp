#include "export/export.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include "input/process.h"
#include "input/replay.h"
#include "export/walk.h"
#include "input/exit_status.h"
#include "input/files.h"
#include "input/stop.h"
#include "pixels/png.h"

namespace {

// Says how far the export is, on standard error, when that is a terminal.
struct Progress {
  bool toTerminal = ErrorsToTerminal();
  void Say(int64_t message, int64_t frames) const {
    if (toTerminal) std::fprintf(stderr, "\rvesprine-monitor: message %lld, %lld frames written", (long long)message,
                            (long long)frames);
  }
  void Done() const {
    if (toTerminal) std::fputc('\n', stderr);
  }
};

// "1 frame", "2 frames".
std::string Frames(int64_t count) { return std::to_string(count) + (count == 1 ? " frame" : " frames"); }

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A message that ended the walk early, said once; the status it leaves.
int Finished(const Walk& walk) {
  if (walk.error().empty()) return kExitDone;
  std::fprintf(stderr, "vesprine-monitor: %s; exported up to message %lld\n", walk.error().c_str(),
               (long long)walk.messages());
  return kExitError;
}

// Said when a range reaches past the session's end (`last` the message asked for).
void PastTheEnd(const Walk& walk, const char* option, int64_t last) {
  if (walk.messages() >= last || !walk.error().empty()) return;
  std::fprintf(stderr, "vesprine-monitor: %s %lld is past the end: %s has %lld messages; exporting up to the last\n",
               option, (long long)last, walk.path().c_str(), (long long)walk.messages());
}

int Picture(Walk& walk, const ExportOptions& options) {
  const int64_t at = options.at.value_or(INT64_MAX);
  while (walk.messages() < at && walk.Step()) {
  }
  const Layer& frame = walk.Frame();
  const std::vector<Pixel> picture = ::Picture(frame, options.overlay, Stopping);
  if (walk.Interrupted()) {
    std::fprintf(stderr, "vesprine-monitor: %s; nothing written\n", walk.error().c_str());
    return kExitError;
  }
  if (options.at) PastTheEnd(walk, "--at", at);
  const std::string error = WriteWholeFile(options.output, EncodePng(frame.width(), frame.height(), picture));
  if (!error.empty()) {
    std::fprintf(stderr, "vesprine-monitor: %s\n", error.c_str());
    return kExitError;
  }
  return Finished(walk);
}

// The picture of `frame` on a screen of `width` × `height`, its top-left
// corner in place: cut, or widened with the backdrop (black, or nothing).
// None once the monitor is stopping.
std::vector<Pixel> Fitted(const Layer& frame, bool overlay, int32_t width, int32_t height) {
  std::vector<Pixel> picture = ::Picture(frame, overlay, Stopping);
  if (picture.empty() || (frame.width() == width && frame.height() == height)) return picture;
  std::vector<Pixel> fitted(size_t(width) * size_t(height), Shown(Pixel{}, overlay));
  for (int32_t y = 0; y < std::min(height, frame.height()); ++y) {
    std::copy_n(picture.begin() + long(y) * frame.width(), std::min(width, frame.width()),
                fitted.begin() + long(y) * width);
  }
  return fitted;
}

// Where clip frames go: an animated PNG, or raw frames to ffmpeg.
struct Sink {
  virtual ~Sink() = default;
  // The picture shown from frame `first` for `count` frames.
  virtual void Show(const std::vector<Pixel>& picture, int64_t first, int64_t count) = 0;
  virtual bool Finish() = 0;
  // Ends early, the picture pending unwritten; true when what was written stays a file to use.
  virtual bool Abandon() = 0;
  int64_t written = 0;
};

struct ApngSink : Sink {
  ApngSink(std::FILE* out, int32_t width, int32_t height, int rate) : file(out), writer(out, width, height), fps(rate) {}
  void Show(const std::vector<Pixel>& picture, int64_t first, int64_t count) override {
    // Frame times in whole milliseconds from the start, so that they do not drift.
    const auto ms = [&](int64_t frame) { return frame * 1000 / fps; };
    int64_t left = ms(first + count) - ms(first);
    for (bool once = true; once || left > 0; once = false) {
      const auto part = static_cast<uint32_t>(std::min<int64_t>(left, 65535));
      if (!writer.Add(picture, part, Stopping)) return;  // a large picture's encoding given up at a stop
      left -= part;
      ++written;
    }
  }
  bool Finish() override {
    const bool ok = writer.Finish();
    return std::fclose(file) == 0 && ok;
  }
  bool Abandon() override {
    if (written > 0) return Finish();
    std::fclose(file);
    return false;
  }
  std::FILE* file;
  ApngWriter writer;
  int fps;
};

struct FfmpegSink : Sink {
  void Show(const std::vector<Pixel>& picture, int64_t, int64_t count) override {
    for (int64_t i = 0; i < count; ++i) {
      failed = failed || !ffmpeg.Write(picture.data(), picture.size() * sizeof(Pixel));
      ++written;
    }
  }
  bool Finish() override { return ffmpeg.Finish() && !failed; }
  // A video cut off is no file to use.
  bool Abandon() override {
    ffmpeg.Kill();
    return false;
  }
  ChildProcess ffmpeg;
  bool failed = false;
};

std::unique_ptr<Sink> OpenSink(const ExportOptions& options, int32_t width, int32_t height) {
  if (EndsWith(options.output, ".png")) {
    std::FILE* file = std::fopen(options.output.c_str(), "wb");
    if (file == nullptr) {
      std::fprintf(stderr, "vesprine-monitor: %s\n", CannotWrite(options.output, errno).c_str());
      return nullptr;
    }
    return std::make_unique<ApngSink>(file, width, height, options.fps);
  }
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  std::vector<std::string> arguments = {FindProgram("ffmpeg"), "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt",
                                        "rgba", "-s", size, "-r", std::to_string(options.fps), "-i", "pipe:0"};
  // Even sizes for the video codecs' chroma; GIF takes any.
  if (!EndsWith(options.output, ".gif")) {
    arguments.insert(arguments.end(), {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-pix_fmt", "yuv420p"});
  }
  // Named as a file, so that no name is read as an option (-x.gif) or another protocol (pipe:1.gif).
  arguments.push_back("file:" + options.output);
  auto sink = std::make_unique<FfmpegSink>();
  if (!sink->ffmpeg.Start(arguments)) {
    std::fprintf(stderr, "vesprine-monitor: cannot run ffmpeg: %s\n", sink->ffmpeg.why().c_str());
    return nullptr;
  }
  return sink;
}

// The clip's time: the recorded time since the range's first message, each
// pause cut to `longest`.
struct ClipClock {
  int64_t longest;
  int64_t now = 0;
  std::optional<int64_t> last;  // the time of the message before
  void Tick(int64_t time) {
    if (last) now += PacedGap(*last, time, longest);
    last = time;
  }
};

// Fewer frames than this by recorded time, and a clip has a frame per message.
constexpr int64_t kFewFrames = 5;

// Whether messages `from` to `to` of the session span fewer than kFewFrames
// frames of recorded time, read ahead as far as needed, nothing drawn. Only
// a file can be read twice: never for a session given through a pipe.
bool Brief(const std::string& path, int64_t from, int64_t to, ClipClock clock, int64_t frame_us) {
  std::error_code unknown;
  if (!std::filesystem::is_regular_file(path, unknown)) return false;
  std::ifstream in(path, std::ios::binary);
  SessionReader reader(in);
  std::string error;
  if (!reader.Start(error)) return false;
  SessionEntry entry;
  for (int64_t messages = 0; messages < to && !Stopping() && reader.Next(entry, error);) {
    if (entry.kind != SessionEntry::kMessage) continue;
    if (++messages <= from) {
      clock.last = entry.time;
      continue;
    }
    clock.Tick(entry.time);
    if (clock.now / frame_us + 1 >= kFewFrames) return false;
  }
  return true;
}

// The clip: a frame for each 1/fps of the session's time from message
// `from` on, each showing the screen right after the messages that arrived
// by then; a pause longer than a frame lasts one frame (with --pace, up to
// 10 s). With --every M, or when the range's time gives fewer than
// kFewFrames frames (not with --pace, nor for a pipe), a frame for every M
// messages (by default 1) instead.
// A picture shown for several frames is written once, for as long.
int Clip(Walk& walk, const ExportOptions& options) {
  const int64_t from = options.from.value_or(0), to = options.to.value_or(INT64_MAX);
  while (walk.messages() < from && walk.Step()) {
  }
  if (options.from) PastTheEnd(walk, "--from", from);
  const int64_t frame_us = 1'000'000 / options.fps;
  ClipClock clock{options.pace ? kLongestPause : frame_us, 0, std::nullopt};
  if (from > 0) clock.last = walk.entry().time;
  const int64_t every = options.every ? *options.every : !options.pace && Brief(walk.path(), from, to, clock, frame_us);
  // By message, a clip from a later message starts with the screen as it was then.
  const int64_t first = every > 0 && from > 0 ? 1 : 0;
  const Progress progress;
  std::unique_ptr<Sink> sink;  // opened at the size of the first frame
  int32_t width = 0, height = 0;
  std::vector<Pixel> shown;
  int64_t shown_from = 0;  // the frame from which `shown` is shown
  int64_t frame = 0;       // the frame the messages applied so far fall in
  bool resized = false;
  // The picture now, from frame `at` on; false, said, when the output cannot be written.
  const auto show_now = [&](int64_t at) {
    const Layer& now = walk.Frame();
    if (!sink) {
      width = now.width(), height = now.height();
      sink = OpenSink(options, width, height);
      shown = Fitted(now, options.overlay, width, height);
      shown_from = at;
      return sink != nullptr;
    }
    resized = resized || now.width() != width || now.height() != height;
    std::vector<Pixel> picture = Fitted(now, options.overlay, width, height);
    if (picture.empty() || picture == shown) return true;
    sink->Show(shown, shown_from, at - shown_from);
    shown = std::move(picture);
    shown_from = at;
    return true;
  };
  bool open = true;
  while (open && walk.messages() < to && walk.Next()) {
    clock.Tick(walk.entry().time);
    // A message in a later frame: what was drawn so far is that frame's picture.
    const int64_t in_frame = every > 0 ? first + (walk.messages() - from) / every : clock.now / frame_us;
    if (in_frame > frame) {
      open = show_now(frame);
      frame = in_frame;
      if (sink) progress.Say(walk.messages(), sink->written);
    }
    walk.Apply();
  }
  if (walk.Interrupted()) {
    // The frames written so far stay a clip; the picture pending is not encoded.
    if (sink && sink->Abandon()) {
      std::fprintf(stderr, "vesprine-monitor: %s; wrote %s to %s\n", walk.error().c_str(),
                   Frames(sink->written).c_str(), options.output.c_str());
      return kExitError;
    }
    if (sink) std::remove(options.output.c_str());
    std::fprintf(stderr, "vesprine-monitor: %s; nothing written\n", walk.error().c_str());
    return kExitError;
  }
  if (open) open = show_now(frame);
  if (!open) return kExitError;
  sink->Show(shown, shown_from, frame + 1 - shown_from);
  progress.Done();
  if (!sink->Finish()) {
    std::fprintf(stderr, "vesprine-monitor: cannot write %s\n", options.output.c_str());
    return kExitError;
  }
  if (options.to) PastTheEnd(walk, "--to", to);
  if (resized) {
    std::fputs("vesprine-monitor: the resolution changed during the clip; its frames keep the first one's size, "
               "the screen's top-left corner in place\n", stderr);
  }
  std::fprintf(stderr, "vesprine-monitor: wrote %s to %s\n", Frames(sink->written).c_str(), options.output.c_str());
  return Finished(walk);
}

}  // namespace

int Export(const std::string& path, const ExportOptions& options) {
  const bool clip = options.from || options.to || options.every;
  const bool png = EndsWith(options.output, ".png");
  if (!png && !EndsWith(options.output, ".gif") && !EndsWith(options.output, ".mp4") &&
      !EndsWith(options.output, ".webm")) {
    std::fputs("vesprine-monitor: --export writes .png (a picture, or an animated PNG with --from or --to), "
               "or .gif, .mp4 or .webm through ffmpeg\n", stderr);
    return kExitError;
  }
  if (!png && FindProgram("ffmpeg").empty()) {
    std::fprintf(stderr, "vesprine-monitor: %s needs ffmpeg, which is not on the path; the monitor itself writes "
                 ".png: a picture, or an animated PNG (APNG) with --from or --to\n", options.output.c_str());
    return kExitError;
  }
  if (const std::string missing = MissingFolder(options.output); !missing.empty()) {
    std::fprintf(stderr, "vesprine-monitor: %s\n", missing.c_str());
    return kExitError;
  }
  Walk walk(path, options.images);
  if (!walk.Start()) {
    std::fprintf(stderr, "vesprine-monitor: %s\n", walk.error().c_str());
    return kExitError;
  }
  return png && !clip ? Picture(walk, options) : Clip(walk, options);
}
