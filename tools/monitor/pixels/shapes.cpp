#include "pixels/shapes.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "pixels/wide.h"
#include "pixels/work.h"

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

// The first of a line's steps 0..n at which its coordinate on the shorter
// axis has moved t or more from where it starts (it moves e in all, one
// way), or n + 1 when it never does. At step i it has moved i·e/n rounded
// to the nearest, halves away from the start (`away`: (2ie + n) / 2n rounded
// down) or towards it ((2ie - n) / 2n rounded up): t or more once
// 2ie > n(2t - 1), or, away, at equality too.
int64_t FirstStepAt(int64_t t, int64_t n, int64_t e, bool away) {
  if (t <= 0) return 0;
  if (t > e) return n + 1;
  uint64_t rest = 0;
  const uint64_t q = Divide(Multiply(uint64_t(n), 2 * uint64_t(t) - 1), 2 * uint64_t(e), rest);
  return int64_t(q) + (away && rest == 0 ? 0 : 1);
}

// Calls point(long, short) for the line's steps that lie in the clip: with
// coordinates in [low, high) on the longer axis and in [low2, high2) on the
// shorter one; `start` and `end` on the longer axis, `from` and `to` on the
// shorter one.
template <class Point>
void Steps(int64_t start, int64_t end, int64_t from, int64_t to, int64_t low, int64_t high, int64_t low2,
           int64_t high2, const Point& point) {
  const int64_t n = end >= start ? end - start : start - end;
  const int64_t sign = end >= start ? 1 : -1;
  int64_t first = sign > 0 ? low - start : start - (high - 1);
  int64_t last = sign > 0 ? high - 1 - start : start - low;
  first = std::max<int64_t>(first, 0);
  last = std::min(last, n);
  if (first > last) return;
  // The shorter coordinate only moves one way: the steps where it lies in
  // [low2, high2) are one run, found exactly.
  const int64_t d = to - from;
  const int64_t e = d >= 0 ? d : -d;
  if (d >= 0) {
    first = std::max(first, FirstStepAt(low2 - from, n, e, true));
    last = std::min(last, FirstStepAt(high2 - from, n, e, true) - 1);
  } else {
    first = std::max(first, FirstStepAt(from - (high2 - 1), n, e, false));
    last = std::min(last, FirstStepAt(from - low2 + 1, n, e, false) - 1);
  }
  if (first > last) return;
  const auto twice_n = uint64_t(2 * n);
  // Each step adds 2d to the numerator: a·2n + b with 0 <= b < 2n.
  const int64_t a = d == n ? 1 : d >= 0 ? 0 : -1;
  const uint64_t b = d == n || d == -n ? 0 : d >= 0 ? uint64_t(2 * d) : uint64_t(2 * d + 2 * n);
  Rounded at = RoundedRatio(uint64_t(first), d, uint64_t(n));
  WorkOnThisThread().shapeRows += last - first + 1;
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

// The pixels of row y of a shape's edge whose four neighbours all lie in
// the shape, when there are any.
template <class RowSpan>
std::optional<Span> Inside(const RowSpan& span, int64_t y) {
  const std::optional<Span> row = span(y), up = span(y - 1), down = span(y + 1);
  if (!row || !up || !down) return std::nullopt;
  const Span inside{std::max({row->left + 1, up->left, down->left}), std::min({row->right - 1, up->right, down->right})};
  if (inside.left > inside.right) return std::nullopt;
  return inside;
}

// The first y in [a, b) for which `holds`, or b; `holds` is false and then
// true from some y on.
template <class Holds>
int64_t FirstRow(int64_t a, int64_t b, const Holds& holds) {
  if (a >= b || holds(a)) return a;
  if (!holds(b - 1)) return b;
  // holds(a) is false, holds(b - 1) true.
  int64_t no = a, yes = b - 1;
  while (yes - no > 1) {
    const int64_t mid = no + (yes - no) / 2;
    (holds(mid) ? yes : no) = mid;
  }
  return yes;
}

// Fills a shape given row by row, or its 1-pixel edge. Its rows are nested
// about its middle row, as an ellipse's and a rectangle's are: each row
// above the middle lies within the next, and each row from the middle down
// within the one before. So the rows that reach the clip's columns are one
// run about the middle, and so are those of an edge whose inside holds the
// clip's columns (nothing of the edge there): only the rows between are gone through.
template <class RowSpan>
void FillRows(Painter& painter, int64_t top, int64_t bottom, bool filled, Pixel colour, const RowSpan& span) {
  const Box& clip = painter.clip();
  if (clip.Empty()) return;
  const int64_t first = std::max(top, clip.y0);
  const int64_t last = std::min(bottom, clip.y1);
  const int64_t middle = top + (bottom - top - 1) / 2;
  const auto reaches = [&](int64_t y) {
    const std::optional<Span> row = span(y);
    return row && row->left < clip.x1 && row->right >= clip.x0;
  };
  const auto hides = [&](int64_t y) {
    if (filled) return false;
    const std::optional<Span> inside = Inside(span, y);
    return inside && inside->left <= clip.x0 && inside->right >= clip.x1 - 1;
  };
  const auto draw = [&](int64_t from, int64_t to) {
    if (from < to) WorkOnThisThread().shapeRows += to - from;
    for (int64_t y = from; y < to; ++y) {
      const auto [left, right] = *span(y);
      const std::optional<Span> inside = filled ? std::nullopt : Inside(span, y);
      if (!inside) {
        painter.Fill(y, left, right + 1, colour);
      } else {
        painter.Fill(y, left, inside->left, colour);
        painter.Fill(y, inside->right + 1, right + 1, colour);
      }
    }
  };
  // Above the middle, both grow from false to true going down; from it
  // down, both shrink from true to false.
  const int64_t above = std::min(middle, last);
  draw(FirstRow(first, above, reaches), FirstRow(first, above, hides));
  const int64_t below = std::max(middle, first);
  const auto doesNot = [](const auto& holds) { return [&](int64_t y) { return !holds(y); }; };
  draw(FirstRow(below, last, doesNot(hides)), FirstRow(below, last, doesNot(reaches)));
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
    Steps(x, x2, y, y2, clip.x0, clip.x1, clip.y0, clip.y1,
          [&](int64_t px, int64_t py) { DrawPoint(painter, px, py, colour); });
  } else {
    Steps(y, y2, x, x2, clip.y0, clip.y1, clip.x0, clip.x1,
          [&](int64_t py, int64_t px) { DrawPoint(painter, px, py, colour); });
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
