#include "pixels/compose.h"

#include <algorithm>
#include <vector>

#include "input/stop.h"
#include "pixels/work.h"

namespace {

// Blends the n pixels of `layer` from (x, y) on into `out`, at `alpha`.
void BlendRow(const Layer& layer, int64_t x, int64_t y, int64_t n, uint8_t alpha, Pixel* out) {
  const auto row = static_cast<int32_t>(y / kTileSide);
  const int64_t offset = (y % kTileSide) * kTileSide;
  for (int64_t done = 0; done < n;) {
    const int64_t at = x + done;
    const auto column = static_cast<int32_t>(at / kTileSide);
    const int64_t run = std::min(n - done, int64_t{column + 1} * kTileSide - at);
    const TileRef& tile = layer.tile(column, row);
    if (tile) {
      const Pixel* from = tile.pixels() + offset + (at - int64_t{column} * kTileSide);
      for (int64_t i = 0; i < run; ++i) {
        if (from[i].a != 0) out[done + i] = Over(out[done + i], Fade(from[i], alpha));
      }
    }
    done += run;
  }
}

// Blends what lies over [x0, x1) × [y0, y1) of the screen into `pixels`, a
// block whose top-left pixel is (x0, y0) and whose rows are `stride` apart.
void ComposeBlock(const Composition& c, int64_t x0, int64_t y0, int64_t x1, int64_t y1, Pixel* pixels,
                  int64_t stride) {
  // The sprites over the block, found once for all its rows.
  std::vector<const Placement*> over;
  for (const Placement& s : c.sprites) {
    if (s.left < x1 && s.left + s.layer->width() > x0 && s.top < y1 && s.top + s.layer->height() > y0) {
      over.push_back(&s);
    }
  }
  WorkOnThisThread().spriteRows += int64_t(over.size()) * (y1 - y0);
  for (int64_t y = y0; y < y1; ++y) {
    Pixel* out = pixels + (y - y0) * stride;
    if (c.background) {
      for (int64_t x = x0; x < x1; ++x) {
        const Pixel p = c.backgroundImage != nullptr ? SampleImage(*c.backgroundImage, x, y, c.width, c.height)
                                                     : SamplePlaceholder(x, y, c.width, c.height);
        out[x - x0] = Over(out[x - x0], Fade(p, c.backgroundAlpha));
      }
    }
    if (c.screen != nullptr) BlendRow(*c.screen, x0, y, x1 - x0, 255, out);
    for (const Placement* s : over) {
      const int64_t ly = y - s->top;
      if (ly < 0 || ly >= s->layer->height()) continue;
      const int64_t from = std::max(x0, s->left), to = std::min(x1, s->left + s->layer->width());
      BlendRow(*s->layer, from - s->left, ly, to - from, s->alpha, out + (from - x0));
    }
  }
}

}  // namespace

TileRef ComposeTile(const Composition& composition, int32_t column, int32_t row) {
  TileRef tile = TileRef::Blank();
  const int64_t x0 = int64_t{column} * kTileSide, y0 = int64_t{row} * kTileSide;
  const int64_t x1 = std::min<int64_t>(x0 + kTileSide, composition.width);
  const int64_t y1 = std::min<int64_t>(y0 + kTileSide, composition.height);
  ComposeBlock(composition, x0, y0, x1, y1, tile.writable(), kTileSide);
  return tile;
}

Pixel ComposePixel(const Composition& composition, int32_t x, int32_t y) {
  Pixel pixel;
  ComposeBlock(composition, x, y, x + 1, y + 1, &pixel, 1);
  return pixel;
}

void Damage::Reset(int32_t width, int32_t height) {
  columns_ = (width + kTileSide - 1) / kTileSide;
  rows_ = (height + kTileSide - 1) / kTileSide;
  tiles_.assign(size_t(columns_) * rows_, 0);
}

void Damage::Mark(const Box& box) {
  const Box area = box.Intersect({0, 0, int64_t{columns_} * kTileSide, int64_t{rows_} * kTileSide});
  if (area.Empty()) return;
  const auto left = size_t(area.x0 / kTileSide), count = size_t((area.x1 - 1) / kTileSide) - left + 1;
  for (auto row = size_t(area.y0 / kTileSide); row <= size_t((area.y1 - 1) / kTileSide); ++row) {
    std::fill_n(tiles_.data() + row * size_t(columns_) + left, count, uint8_t{1});
  }
}

void Compose(const Composition& composition, const Damage& damage, Layer& frame) {
  // Stopping, the monitor composes no more, as it draws no more.
  for (int32_t row = 0; row < frame.rows() && !Stopping(); ++row) {
    for (int32_t column = 0; column < frame.columns(); ++column) {
      if (damage.At(column, row)) frame.Place(column, row, ComposeTile(composition, column, row));
    }
  }
}
