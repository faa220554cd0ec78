// A picture (the screen's drawing layer, a sprite's surface, a composed
// frame) kept as 64×64 tiles of premultiplied pixels. Tiles are shared
// copy-on-write: copying a layer copies references, and a tile is copied
// only when one of its sharers writes to it, so a copy of a scene costs the
// tiles that change afterwards. A missing tile is transparent.
#pragma once

#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pixels/box.h"
#include "pixels/pixel.h"

constexpr int32_t kTileSide = 64;
constexpr int32_t kTilePixels = kTileSide * kTileSide;
constexpr size_t kTileBytes = kTilePixels * sizeof(Pixel);

struct Tile {
  std::atomic<uint32_t> refs{1};
  Pixel pixels[kTilePixels];
};

// A counted reference to a tile; empty for a transparent one.
class TileRef {
 public:
  TileRef() = default;
  TileRef(const TileRef& other) : tile_(other.tile_) { Retain(); }
  TileRef(TileRef&& other) noexcept : tile_(other.tile_) { other.tile_ = nullptr; }
  TileRef& operator=(TileRef other) noexcept {
    std::swap(tile_, other.tile_);
    return *this;
  }
  ~TileRef() { Release(); }

  // A new tile, every pixel transparent, or a copy of `from`'s pixels.
  static TileRef Blank();
  static TileRef CopyOf(const Pixel* from);

  explicit operator bool() const { return tile_ != nullptr; }
  bool operator==(const TileRef& other) const { return tile_ == other.tile_; }
  const Pixel* pixels() const { return tile_->pixels; }
  // Writable only while no one else shares it.
  Pixel* writable() {
    assert(Unique());
    return tile_->pixels;
  }
  bool Unique() const { return tile_->refs.load(std::memory_order_acquire) == 1; }

 private:
  void Retain() {
    if (tile_ != nullptr) tile_->refs.fetch_add(1, std::memory_order_relaxed);
  }
  void Release() {
    if (tile_ != nullptr && tile_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete tile_;
    tile_ = nullptr;
  }
  Tile* tile_ = nullptr;
};

class Layer {
 public:
  Layer() = default;
  Layer(int32_t width, int32_t height);

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t columns() const { return columns_; }
  int32_t rows() const { return rows_; }
  const TileRef& tile(int32_t column, int32_t row) const { return tiles_[size_t(row) * columns_ + column]; }
  // The pixel at (x, y), which must lie on the layer.
  Pixel At(int32_t x, int32_t y) const;

  // The pixels of tile (column, row), made this layer's own to write.
  Pixel* Writable(int32_t column, int32_t row);
  // Puts `tile` in place of tile (column, row).
  void Place(int32_t column, int32_t row, TileRef tile) { tiles_[size_t(row) * columns_ + column] = std::move(tile); }
  // Every pixel transparent.
  void Clear();
  // A new size; pixels keep their place from the top-left corner, and those
  // that fall outside are gone.
  void Resize(int32_t width, int32_t height);
  // Tiles this layer holds alone: what keeping a copy of it costs beyond
  // the copies already kept (a copy shares every tile it holds).
  size_t UnsharedTiles() const;

 private:
  void ClearOutside(int32_t column, int32_t row);

  int32_t width_ = 0, height_ = 0, columns_ = 0, rows_ = 0;
  std::vector<TileRef> tiles_;
};

// Writes rows of pixels onto a layer, blending each once, within a clip;
// notes the box it touched and whether it touched one pixel of interest.
class Painter {
 public:
  // `probe_x`, `probe_y`: a pixel to watch (-1: none).
  Painter(Layer& layer, Box clip, int64_t probe_x = -1, int64_t probe_y = -1);

  const Box& clip() const { return clip_; }
  const Box& touched() const { return touched_; }
  bool hit() const { return hit_; }

  // `colour` over pixels [x0, x1) of row y.
  void Fill(int64_t y, int64_t x0, int64_t x1, Pixel colour);
  // `colour` at coverage[i]/255 over pixel x0 + i of row y, for i < n.
  void Cover(int64_t y, int64_t x0, const uint8_t* coverage, int64_t n, Pixel colour);
  // `source[i]` at `opacity` over pixel x0 + i of row y, for i < n.
  void Copy(int64_t y, int64_t x0, const Pixel* source, int64_t n, uint8_t opacity);
  // Every pixel of the layer transparent (the clip aside).
  void Clear();

 private:
  // Clips [x0, x1) of row y; false when nothing is left.
  bool Clipped(int64_t y, int64_t& x0, int64_t& x1);
  template <class Blend, class Shows>
  void Each(int64_t y, int64_t x0, int64_t x1, const Blend& blend, const Shows& shows);

  Layer& layer_;
  Box clip_;
  Box touched_;
  int64_t probe_x_, probe_y_;
  bool hit_ = false;
};
