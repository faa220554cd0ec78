// The screen as a viewer sees it, bottom to top: the background stretched
// over the screen at its opacity, the screen's drawing layer, then each
// visible sprite at its opacity. Composed over transparency; over opaque
// black (the view's own backdrop) a composed pixel keeps its colour and
// becomes opaque, since premultiplied colour over black is the colour itself.
#pragma once

#include <cstdint>
#include <vector>

#include "pixels/image.h"
#include "pixels/layer.h"

struct Placement {
  const Layer* layer = nullptr;
  int64_t left = 0, top = 0;  // where the layer's top-left pixel lies on the screen
  uint8_t alpha = 255;
};

struct Composition {
  int32_t width = 0, height = 0;
  bool background = false;              // a background is set:
  const Image* backgroundImage = nullptr;  // its image, or none for the placeholder
  uint8_t backgroundAlpha = 255;
  const Layer* screen = nullptr;        // the screen's drawing layer, of the screen's size
  std::vector<Placement> sprites;       // bottom to top
};

// The tiles of the screen that need composing anew.
class Damage {
 public:
  // Nothing damaged yet, on a screen of this size.
  void Reset(int32_t width, int32_t height);
  // The tiles under `box`, in screen pixels.
  void Mark(const Box& box);
  void MarkAll() { Mark({0, 0, int64_t{columns_} * kTileSide, int64_t{rows_} * kTileSide}); }
  bool At(int32_t column, int32_t row) const { return tiles_[size_t(row) * columns_ + column] != 0; }

 private:
  int32_t columns_ = 0, rows_ = 0;
  std::vector<uint8_t> tiles_;
};

// Tile (column, row) of the composed screen; pixels past the screen's edge stay transparent.
TileRef ComposeTile(const Composition& composition, int32_t column, int32_t row);
// One composed pixel.
Pixel ComposePixel(const Composition& composition, int32_t x, int32_t y);
// Composes the damaged tiles of `frame` (a layer of the screen's size)
// anew; each is a new tile, so a tile of a frame already sent never changes.
void Compose(const Composition& composition, const Damage& damage, Layer& frame);
