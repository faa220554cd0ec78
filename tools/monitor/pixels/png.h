// PNG files written by the monitor itself, the same bytes on every target:
// RGBA with 8 bits a channel, straight alpha, each row filtered by whichever
// of None, Sub, Up and Paeth leaves the smallest sum of magnitudes, then
// deflated by zlib (1.2.13, strategy Z_RLE; zlib linked statically into the
// Windows builds). Also animated PNG (APNG).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pixels/layer.h"

// The screen's pixels, row by row, straight alpha: as a viewer sees them
// over the view's black backdrop, or, for an overlay, over nothing. None
// when `stop` (if given) says so before it is done: a large screen takes
// long to convert.
std::vector<Pixel> Picture(const Layer& frame, bool overlay, bool (*stop)() = nullptr);

// A PNG of `pixels`: `width` × `height` of them (each side 1 or more), row
// by row from the top, straight RGBA, as Picture gives them.
std::string EncodePng(int32_t width, int32_t height, const std::vector<Pixel>& pixels);

// Writes an animated PNG to a file, frame by frame: the first frame whole,
// each later one as the box of pixels that differ from the frame before
// (replacing them), each shown for its own time; played in a loop.
class ApngWriter {
 public:
  // `file` must be seekable: the frame count is written last. Each side is
  // 1 or more.
  ApngWriter(std::FILE* file, int32_t width, int32_t height);
  // The next picture (straight RGBA, the screen's size), shown for
  // `milliseconds`; false, nothing written, when `stop` (if given) says so
  // before it is done: a large picture takes long to encode.
  bool Add(const std::vector<Pixel>& picture, uint32_t milliseconds, bool (*stop)() = nullptr);
  // Writes the frame count and the end; false when a write failed.
  bool Finish();

 private:
  void Write(const std::string& bytes);
  bool Frame(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t milliseconds, const std::vector<Pixel>& picture,
             bool (*stop)());

  std::FILE* file_;
  int32_t width_, height_;
  std::vector<Pixel> last_;
  uint32_t frames_ = 0;
  uint32_t sequence_ = 0;
  bool failed_ = false;
};
