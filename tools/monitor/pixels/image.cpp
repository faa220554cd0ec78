#include "pixels/image.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdlib>

namespace {

// stb_image's allocations, each counted against the budget of the decoding
// under way on its thread (the render thread and the looks back decode at once).
thread_local DecodeMemory memory;

// Each block starts with its size, in a header that keeps the block aligned.
constexpr size_t kHeader = alignof(std::max_align_t);

size_t& SizeOf(void* start) { return *static_cast<size_t*>(start); }

void* Reallocate(void* block, size_t size) {
  void* start = block != nullptr ? static_cast<char*>(block) - kHeader : nullptr;
  const size_t old = start != nullptr ? SizeOf(start) : 0;
  assert(memory.used <= memory.budget);
  // While a block moves, both copies are held.
  if (size > memory.budget - memory.used) {
    memory.refused = true;
    return nullptr;
  }
  void* moved = std::realloc(start, size + kHeader);
  if (moved == nullptr) return nullptr;
  memory.peak = std::max(memory.peak, memory.used + size);
  memory.used = memory.used - old + size;
  SizeOf(moved) = size;
  return static_cast<char*>(moved) + kHeader;
}

void Free(void* block) {
  if (block == nullptr) return;
  void* start = static_cast<char*>(block) - kHeader;
  memory.used -= SizeOf(start);
  std::free(start);
}

}  // namespace

#define STBI_MALLOC(size) Reallocate(nullptr, size)
#define STBI_REALLOC(block, size) Reallocate(block, size)
#define STBI_FREE(block) Free(block)
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

DecodeMemory LastDecodeMemory() { return memory; }

std::shared_ptr<const Image> DecodeImage(std::string_view bytes, std::string& error) {
  const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
  const int length = static_cast<int>(std::min<size_t>(bytes.size(), size_t{1} << 30));
  int width = 0, height = 0, channels = 0;
  memory = DecodeMemory{kDecodeMemoryMargin};  // reading the header takes little
  if (stbi_info_from_memory(data, length, &width, &height, &channels) == 0) {
    error = "cannot be decoded";
    return nullptr;
  }
  if (width > kMaxImageSide || height > kMaxImageSide) {
    error = std::to_string(width) + "x" + std::to_string(height) + " is over the limit of " +
            std::to_string(kMaxImageSide) + " per side";
    return nullptr;
  }
  // JPEG pads the sides to whole blocks of up to 16 pixels.
  const size_t padded = (size_t(width) + 16) * (size_t(height) + 16);
  memory.budget = std::min(padded * kDecodeMemoryPerPixel + 3 * bytes.size() + kDecodeMemoryMargin, kMaxDecodeMemory);
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  stbi_uc* rgba = stbi_load_from_memory(data, length, &width, &height, &channels, 4);
  if (rgba == nullptr) {
    const std::string most = std::to_string(memory.budget >> 20) + " MiB";
    if (!memory.refused) {
      error = "cannot be decoded";
    } else if (memory.budget < kMaxDecodeMemory) {
      error = "its pixel data inflates past what a " + size + " image needs (over " + most + ")";
    } else {
      error = "decoding it takes more than " + most + ", the most an image may";
    }
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
