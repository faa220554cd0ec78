#include "pixels/shapes.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "pixels/wide.h"

namespace {

// The pixels [left, right] of one row of a filled shape.
struct Span {
  int64_t left, right;
};

// round(i * d / n) as a quotient q and remainder r of (2·i·d + n) by 2n,
// for 0 <= i, |d| <= n, 0 < n.
struct Rounded {
  int64_t q;
  uint64_t r;
};

Rounded RoundedRatio(uint64_t i, int64_t d, uint64_t n) {
  const uint64_t twice_n = 2 * n;
  const uint64_t magnitude = d < 0 ? uint64_t(-d) : uint64_t(d);
  const U128 twice = Multiply(2 * i, magnitude);
  uint64_t rest = 0;
  if (d >= 0) {
    const uint64_t q = Divide(Add(twice, {0, n}), twice_n, rest);
    return {int64_t(q), rest};
  }
  // floor((n - 2i|d|) / 2n) = -floor((2i|d| + n - 1) / 2n); remainder 2n - 1 - t.
  const uint64_t q = Divide(Add(twice, {0, n - 1}), twice_n, rest);
  return {-int64_t(q), twice_n - 1 - rest};
}

// Calls point(long, short) for the line's steps whose coordinate along the
// longer axis lies in [low, high): `start` and `end` on the longer axis,
// `from` and `to` on the shorter one.
template <class Point>
void Steps(int64_t start, int64_t end, int64_t from, int64_t to, int64_t low, int64_t high, const Point& point) {
  const int64_t n = end >= start ? end - start : start - end;
  const int64_t sign = end >= start ? 1 : -1;
  int64_t first = sign > 0 ? low - start : start - (high - 1);
  int64_t last = sign > 0 ? high - 1 - start : start - low;
  first = std::max<int64_t>(first, 0);
  last = std::min(last, n);
  if (first > last) return;
  const int64_t d = to - from;
  const auto twice_n = uint64_t(2 * n);
  // Each step adds 2d to the numerator: a·2n + b with 0 <= b < 2n.
  const int64_t a = d == n ? 1 : d >= 0 ? 0 : -1;
  const uint64_t b = d == n || d == -n ? 0 : d >= 0 ? uint64_t(2 * d) : uint64_t(2 * d + 2 * n);
  Rounded at = RoundedRatio(uint64_t(first), d, uint64_t(n));
  for (int64_t i = first; i <= last; ++i) {
    point(start + sign * i, from + at.q);
    at.q += a;
    at.r += b;
    if (at.r >= twice_n) {
      at.r -= twice_n;
      at.q += 1;
    }
  }
}

// Fills a shape given row by row, or its 1-pixel edge.
template <class RowSpan>
void FillRows(Painter& painter, int64_t top, int64_t bottom, bool filled, Pixel colour, const RowSpan& span) {
  const Box& clip = painter.clip();
  const int64_t first = std::max(top, clip.y0);
  const int64_t last = std::min(bottom, clip.y1);
  for (int64_t y = first; y < last; ++y) {
    const std::optional<Span> row = span(y);
    if (!row) continue;
    const auto [left, right] = *row;
    const std::optional<Span> up = filled ? row : span(y - 1);
    const std::optional<Span> down = filled ? row : span(y + 1);
    if (filled) {
      painter.Fill(y, left, right + 1, colour);
      continue;
    }
    // The inside: pixels whose four neighbours all lie in the shape.
    const int64_t inner_left = up && down ? std::max({left + 1, up->left, down->left}) : right + 1;
    const int64_t inner_right = up && down ? std::min({right - 1, up->right, down->right}) : left - 1;
    if (inner_left > inner_right) {
      painter.Fill(y, left, right + 1, colour);
    } else {
      painter.Fill(y, left, inner_left, colour);
      painter.Fill(y, inner_right + 1, right + 1, colour);
    }
  }
}

// The largest k of the parity of `parity` with k·k·h2 <= limit, or -1.
int64_t LargestHalfWidth(U128 limit, uint64_t h2, int64_t most, int64_t parity) {
  const double guess = std::sqrt(std::ldexp(double(limit.hi), 64) + double(limit.lo)) / std::sqrt(double(h2));
  int64_t k = std::clamp<int64_t>(int64_t(guess), 0, most);
  const auto fits = [&](int64_t v) { return Multiply(Multiply(uint64_t(v), uint64_t(v)).lo, h2) <= limit; };
  while (k < most && fits(k + 1)) ++k;
  while (k >= 0 && !fits(k)) --k;
  if (k >= 0 && (k - parity) % 2 != 0) --k;
  return k;
}

}  // namespace

void DrawPoint(Painter& painter, int64_t x, int64_t y, Pixel colour) { painter.Fill(y, x, x + 1, colour); }

void DrawLine(Painter& painter, int64_t x, int64_t y, int64_t x2, int64_t y2, Pixel colour) {
  const Box& clip = painter.clip();
  const int64_t dx = x2 > x ? x2 - x : x - x2;
  const int64_t dy = y2 > y ? y2 - y : y - y2;
  if (dx == 0 && dy == 0) {
    DrawPoint(painter, x, y, colour);
  } else if (dx >= dy) {
    Steps(x, x2, y, y2, clip.x0, clip.x1, [&](int64_t px, int64_t py) { DrawPoint(painter, px, py, colour); });
  } else {
    Steps(y, y2, x, x2, clip.y0, clip.y1, [&](int64_t py, int64_t px) { DrawPoint(painter, px, py, colour); });
  }
}

void DrawRect(Painter& painter, int64_t x, int64_t y, int64_t w, int64_t h, bool filled, Pixel colour) {
  if (w <= 0 || h <= 0) return;
  FillRows(painter, y, y + h, filled, colour, [&](int64_t row) -> std::optional<Span> {
    if (row < y || row >= y + h) return std::nullopt;
    return Span{x, x + w - 1};
  });
}

// A pixel (px, py) belongs when its centre lies in the ellipse: with
// X = 2px + 1 - (2x + w) and Y = 2py + 1 - (2y + h), X²h² + Y²w² <= w²h².
void DrawEllipse(Painter& painter, int64_t x, int64_t y, int64_t w, int64_t h, bool filled, Pixel colour) {
  if (w <= 0 || h <= 0) return;
  const uint64_t w2 = uint64_t(w) * uint64_t(w), h2 = uint64_t(h) * uint64_t(h);
  const U128 whole = Multiply(w2, h2);
  FillRows(painter, y, y + h, filled, colour, [&](int64_t row) -> std::optional<Span> {
    const int64_t Y = 2 * row + 1 - (2 * y + h);
    if (row < y || row >= y + h || Y > h || -Y > h) return std::nullopt;
    const U128 used = Multiply(uint64_t(Y) * uint64_t(Y), w2);
    if (whole < used) return std::nullopt;
    const int64_t k = LargestHalfWidth(Subtract(whole, used), h2, w, (w - 1) & 1);
    if (k < 0) return std::nullopt;
    return Span{(2 * x + w - 1 - k) / 2, (2 * x + w - 1 + k) / 2};
  });
}
