// A rectangle of pixels [x0, x1) × [y0, y1), in 64 bits so that any 32-bit
// coordinates and sizes add up without overflow.
#pragma once

#include <algorithm>
#include <cstdint>

struct Box {
  int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool Empty() const { return x1 <= x0 || y1 <= y0; }
  bool Contains(int64_t x, int64_t y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
  Box Intersect(const Box& o) const {
    return {std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
  }
  Box Union(const Box& o) const {
    if (Empty()) return o;
    if (o.Empty()) return *this;
    return {std::min(x0, o.x0), std::min(y0, o.y0), std::max(x1, o.x1), std::max(y1, o.y1)};
  }
};
