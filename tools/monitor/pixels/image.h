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

// The image in `bytes`, or nullptr with `error` saying why.
std::shared_ptr<const Image> DecodeImage(std::string_view bytes, std::string& error);

// Scaling is by the nearest pixel: pixel (i, j) of the w × h box shows
// pixel ((2i + 1)·width / 2w, (2j + 1)·height / 2h) of the image.
Pixel SampleImage(const Image& image, int64_t i, int64_t j, int64_t w, int64_t h);
// The placeholder: magenta at opacity 64 inside, opaque on its 1-pixel edge.
Pixel SamplePlaceholder(int64_t i, int64_t j, int64_t w, int64_t h);

// The image in the box x, y, w, h at `opacity`; a null image, the placeholder.
void DrawImage(Painter& painter, const Image* image, int64_t x, int64_t y, int64_t w, int64_t h, uint8_t opacity);
