#include "pixels/image.h"

#include <algorithm>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#define STBI_NO_SIMD  // the same pixels on every target
#define STBI_MAX_DIMENSIONS 8192
#include <stb/stb_image.h>

std::shared_ptr<const Image> DecodeImage(std::string_view bytes, std::string& error) {
  const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
  const int length = static_cast<int>(std::min<size_t>(bytes.size(), size_t{1} << 30));
  int width = 0, height = 0, channels = 0;
  if (stbi_info_from_memory(data, length, &width, &height, &channels) == 0) {
    error = "cannot be decoded";
    return nullptr;
  }
  if (width > kMaxImageSide || height > kMaxImageSide) {
    error = std::to_string(width) + "x" + std::to_string(height) + " is over the limit of " +
            std::to_string(kMaxImageSide) + " per side";
    return nullptr;
  }
  stbi_uc* rgba = stbi_load_from_memory(data, length, &width, &height, &channels, 4);
  if (rgba == nullptr) {
    error = "cannot be decoded";
    return nullptr;
  }
  auto image = std::make_shared<Image>();
  image->width = width;
  image->height = height;
  image->pixels.resize(size_t(width) * size_t(height));
  for (size_t i = 0; i < image->pixels.size(); ++i) {
    const stbi_uc* p = rgba + 4 * i;
    image->pixels[i] = Premultiply(p[0], p[1], p[2], p[3]);
  }
  stbi_image_free(rgba);
  return image;
}

Pixel SampleImage(const Image& image, int64_t i, int64_t j, int64_t w, int64_t h) {
  const int64_t sx = (2 * i + 1) * image.width / (2 * w);
  const int64_t sy = (2 * j + 1) * image.height / (2 * h);
  return image.pixels[size_t(sy) * size_t(image.width) + size_t(sx)];
}

Pixel SamplePlaceholder(int64_t i, int64_t j, int64_t w, int64_t h) {
  const bool edge = i == 0 || j == 0 || i == w - 1 || j == h - 1;
  return edge ? Pixel{255, 0, 255, 255} : Premultiply(255, 0, 255, 64);
}

void DrawImage(Painter& painter, const Image* image, int64_t x, int64_t y, int64_t w, int64_t h, uint8_t opacity) {
  if (w <= 0 || h <= 0 || opacity == 0) return;
  const Box& clip = painter.clip();
  const int64_t i0 = std::max<int64_t>(0, clip.x0 - x), i1 = std::min(w, clip.x1 - x);
  const int64_t j0 = std::max<int64_t>(0, clip.y0 - y), j1 = std::min(h, clip.y1 - y);
  if (i0 >= i1 || j0 >= j1) return;
  std::vector<Pixel> row(size_t(i1 - i0));
  for (int64_t j = j0; j < j1; ++j) {
    for (int64_t i = i0; i < i1; ++i) {
      row[size_t(i - i0)] = image != nullptr ? SampleImage(*image, i, j, w, h) : SamplePlaceholder(i, j, w, h);
    }
    painter.Copy(y + j, x + i0, row.data(), i1 - i0, opacity);
  }
}
