#include "pixels/layer.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <utility>

#include "input/stop.h"

TileRef TileRef::Blank() {
  TileRef ref;
  ref.tile_ = new Tile;
  std::fill(std::begin(ref.tile_->pixels), std::end(ref.tile_->pixels), Pixel{});
  return ref;
}

TileRef TileRef::CopyOf(const Pixel* from) {
  TileRef ref;
  ref.tile_ = new Tile;
  std::copy(from, from + kTilePixels, ref.tile_->pixels);
  return ref;
}

namespace {

int32_t TilesFor(int32_t pixels) { return (pixels + kTileSide - 1) / kTileSide; }

}  // namespace

Layer::Layer(int32_t width, int32_t height)
    : width_(width), height_(height), columns_(TilesFor(width)), rows_(TilesFor(height)),
      tiles_(size_t(columns_) * rows_) {}

Pixel Layer::At(int32_t x, int32_t y) const {
  assert(x >= 0 && y >= 0 && x < width_ && y < height_);
  const TileRef& t = tile(x / kTileSide, y / kTileSide);
  return t ? t.pixels()[(y % kTileSide) * kTileSide + x % kTileSide] : Pixel{};
}

Pixel* Layer::Writable(int32_t column, int32_t row) {
  TileRef& t = tiles_[size_t(row) * columns_ + column];
  if (!t) {
    t = TileRef::Blank();
  } else if (!t.Unique()) {
    t = TileRef::CopyOf(t.pixels());
  }
  return t.writable();
}

void Layer::Clear() {
  for (TileRef& t : tiles_) t = TileRef();
}

void Layer::Resize(int32_t width, int32_t height) {
  std::vector<TileRef> tiles(size_t(TilesFor(width)) * TilesFor(height));
  const int32_t columns = std::min(columns_, TilesFor(width));
  const int32_t rows = std::min(rows_, TilesFor(height));
  for (int32_t row = 0; row < rows; ++row) {
    for (int32_t column = 0; column < columns; ++column) {
      tiles[size_t(row) * TilesFor(width) + column] = tiles_[size_t(row) * columns_ + column];
    }
  }
  width_ = std::min(width_, width);
  height_ = std::min(height_, height);
  columns_ = TilesFor(width);
  rows_ = TilesFor(height);
  tiles_ = std::move(tiles);
  // Pixels beyond the smaller of the two sizes go, so that growing again
  // finds them transparent.
  for (int32_t row = 0; row < rows_; ++row) {
    for (int32_t column = 0; column < columns_; ++column) ClearOutside(column, row);
  }
  width_ = width;
  height_ = height;
}

void Layer::ClearOutside(int32_t column, int32_t row) {
  if (!tiles_[size_t(row) * columns_ + column]) return;
  const int32_t left = column * kTileSide, top = row * kTileSide;
  const int32_t keep_x = std::clamp(width_ - left, 0, kTileSide);
  const int32_t keep_y = std::clamp(height_ - top, 0, kTileSide);
  if (keep_x == kTileSide && keep_y == kTileSide) return;
  if (keep_x == 0 || keep_y == 0) {
    tiles_[size_t(row) * columns_ + column] = TileRef();
    return;
  }
  Pixel* pixels = Writable(column, row);
  for (int32_t y = 0; y < kTileSide; ++y) {
    const int32_t from = y < keep_y ? keep_x : 0;
    std::fill(pixels + y * kTileSide + from, pixels + (y + 1) * kTileSide, Pixel{});
  }
}

size_t Layer::UnsharedTiles() const {
  return static_cast<size_t>(
      std::count_if(tiles_.begin(), tiles_.end(), [](const TileRef& t) { return t && t.Unique(); }));
}

Painter::Painter(Layer& layer, Box clip, int64_t probe_x, int64_t probe_y)
    : layer_(layer), clip_(clip.Intersect({0, 0, layer.width(), layer.height()})), probe_x_(probe_x),
      probe_y_(probe_y) {}

bool Painter::Clipped(int64_t y, int64_t& x0, int64_t& x1) {
  if (y < clip_.y0 || y >= clip_.y1) return false;
  x0 = std::max(x0, clip_.x0);
  x1 = std::min(x1, clip_.x1);
  return x0 < x1;
}

// Calls blend(pixel, i) for each pixel of row y from x0 to x1 (clipped),
// where i counts from the unclipped x0, tile by tile. `shows(i)` says
// whether pixel i leaves any colour, for the pixel watched. A monitor that
// is stopping draws no more: one shape over a large screen takes longer
// than a stop may.
template <class Blend, class Shows>
void Painter::Each(int64_t y, int64_t x0, int64_t x1, const Blend& blend, const Shows& shows) {
  const int64_t start = x0;
  if (!Clipped(y, x0, x1) || Stopping()) return;
  touched_ = touched_.Union({x0, y, x1, y + 1});
  if (y == probe_y_ && probe_x_ >= x0 && probe_x_ < x1 && shows(probe_x_ - start)) hit_ = true;
  const auto row = static_cast<int32_t>(y / kTileSide);
  const int64_t offset = (y % kTileSide) * kTileSide;
  for (int64_t x = x0; x < x1;) {
    const auto column = static_cast<int32_t>(x / kTileSide);
    const int64_t end = std::min<int64_t>(x1, int64_t{column + 1} * kTileSide);
    Pixel* pixels = layer_.Writable(column, row) + offset - int64_t{column} * kTileSide;
    for (; x < end; ++x) blend(pixels[x], x - start);
  }
}

void Painter::Fill(int64_t y, int64_t x0, int64_t x1, Pixel colour) {
  if (colour.a == 0) return;
  const auto shows = [](int64_t) { return true; };
  if (colour.a == 255) {
    Each(y, x0, x1, [&](Pixel& p, int64_t) { p = colour; }, shows);
  } else {
    Each(y, x0, x1, [&](Pixel& p, int64_t) { p = Over(p, colour); }, shows);
  }
}

void Painter::Cover(int64_t y, int64_t x0, const uint8_t* coverage, int64_t n, Pixel colour) {
  if (colour.a == 0) return;
  Each(
      y, x0, x0 + n, [&](Pixel& p, int64_t i) { p = Over(p, Fade(colour, coverage[i])); },
      [&](int64_t i) { return Fade(colour, coverage[i]).a != 0; });
}

void Painter::Copy(int64_t y, int64_t x0, const Pixel* source, int64_t n, uint8_t opacity) {
  Each(
      y, x0, x0 + n, [&](Pixel& p, int64_t i) { p = Over(p, Fade(source[i], opacity)); },
      [&](int64_t i) { return Fade(source[i], opacity).a != 0; });
}

void Painter::Clear() {
  layer_.Clear();
  touched_ = {0, 0, layer_.width(), layer_.height()};
  // The pixel watched was cleared only if it lies on this layer.
  if (probe_x_ >= 0 && probe_y_ >= 0 && probe_x_ < layer_.width() && probe_y_ < layer_.height()) hit_ = true;
}
