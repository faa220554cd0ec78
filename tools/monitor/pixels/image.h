// Images: PNG, JPEG, BMP and GIF (its first frame) decoded by stb_image
// into premultiplied pixels, drawn at their own size or scaled, and the
// placeholder drawn where an image cannot be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pixels/layer.h"

constexpr int32_t kMaxImageSide = 8192;
constexpr int32_t kPlaceholderSide = 32;  // a missing image drawn at its own size

struct Image {
  int32_t width = 0, height = 0;
  std::vector<Pixel> pixels;  // row by row
  size_t Bytes() const { return pixels.size() * sizeof(Pixel) + sizeof(Image); }
};

// The decoder's memory for one image: what its size needs (an interlaced
// 16-bit PNG holds up to 28 bytes a pixel at once, its sides padded as
// JPEG's blocks are), three times the file (its chunks gathered) and a
// margin, and never more than kMaxDecodeMemory.
constexpr size_t kDecodeMemoryPerPixel = 32;
constexpr size_t kDecodeMemoryMargin = size_t{1} << 20;
constexpr size_t kMaxDecodeMemory = size_t{1} << 30;

// The image in `bytes`, or nullptr with `error` saying why; one whose data
// needs more memory than its size allows (a small PNG that inflates to
// gigabytes) is refused as soon as it does.
std::shared_ptr<const Image> DecodeImage(std::string_view bytes, std::string& error);

// What the last decoding on this thread was allowed and the most it held at once.
struct DecodeMemory {
  size_t budget = 0, used = 0, peak = 0;
  bool refused = false;  // an allocation was refused for the budget
};
DecodeMemory LastDecodeMemory();

// Scaling is by the nearest pixel: pixel (i, j) of the w × h box shows
// pixel ((2i + 1)·width / 2w, (2j + 1)·height / 2h) of the image.
Pixel SampleImage(const Image& image, int64_t i, int64_t j, int64_t w, int64_t h);
// The placeholder: magenta at opacity 64 inside, opaque on its 1-pixel edge.
Pixel SamplePlaceholder(int64_t i, int64_t j, int64_t w, int64_t h);

// The image in the box x, y, w, h at `opacity`; a null image, the placeholder.
void DrawImage(Painter& painter, const Image* image, int64_t x, int64_t y, int64_t w, int64_t h, uint8_t opacity);
