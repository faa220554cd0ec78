// Pictures of a recorded session without a browser: the screen right after
// one message as a PNG, or a clip of a range of messages as an animated PNG
// (written by the monitor itself) or, through ffmpeg, as GIF, MP4 or WebM.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct ExportOptions {
  std::string output;              // .png, or .gif, .mp4, .webm
  std::optional<int64_t> at;       // a picture right after this message (default: the last)
  std::optional<int64_t> from, to; // a clip of these messages (either one makes it a clip)
  int fps = 30;
  std::optional<int64_t> every;  // a frame every N messages, not by recorded time (default: see Export)
  bool pace = false;     // keep the recorded pauses (up to 10 s each), not one frame each
  bool overlay = false;  // transparent where nothing is drawn
  std::string images = ".";
};

// Exports the session at `path`; returns the exit status: 0 done, 2 an
// error (said in one line; a damaged session or an interrupted clip is
// exported up to where it stopped).
int Export(const std::string& path, const ExportOptions& options);
