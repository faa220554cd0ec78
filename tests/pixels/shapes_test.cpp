// The renderer's shapes, lines, blending and clearing, sent as real messages
// through the scene and composed: each picture against its golden PNG in
// tests/golden, and exact pixels that the documented reading fixes, so that
// a golden rewritten by mistake is caught; shapes through clips and at the
// ends of the integer range against the documented reading, pixel by pixel,
// and that each row or step a shape goes through draws in the clip.
// VESPRINE_WRITE_GOLDEN=1 in the environment writes the goldens instead of
// comparing (look at each).
#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "pixels/png.h"
#include "pixels/shapes.h"
#include "pixels/wide.h"
#include "pixels/work.h"
#include "render_support.h"

namespace {

using Rows = std::vector<std::string>;

TEST(Shapes, RectanglesOutlinedAndFilledAtOddAndEvenSizes) {
  Screen s;
  s.Send({msg::Resolution(64, 48), msg::Colour(255, 0, 0)});
  s.Send({msg::Rect(1, 1, 5, 3, false), msg::Rect(8, 1, 5, 3, true)});
  s.Send({msg::Colour(0, 255, 0), msg::Rect(15, 1, 6, 4, false), msg::Rect(23, 1, 6, 4, true)});
  s.Send({msg::Colour(0, 128, 255), msg::Rect(31, 1, 1, 1, false), msg::Rect(34, 1, 2, 2, false),
          msg::Rect(38, 1, 1, 6, false), msg::Rect(41, 1, 7, 1, false), msg::Rect(50, 1, 3, 3, false)});
  s.Send({msg::Colour(255, 255, 0), msg::Rect(1, 10, 9, 9, false), msg::Rect(12, 10, 10, 10, false),
          msg::Rect(25, 10, 9, 9, true), msg::Rect(36, 10, 10, 10, true)});
  // Cut by the screen's edges.
  s.Send({msg::Colour(255, 0, 255), msg::Rect(-3, 30, 8, 8, false), msg::Rect(58, 40, 10, 10, false),
          msg::Rect(20, 44, 10, 10, true)});
  EXPECT_TRUE(MatchesGolden("rect", s.Png()));

  // x..x+w-1 by y..y+h-1; an outline is the edge of the filled shape.
  EXPECT_EQ(s.Mask(0, 0, 14, 5), (Rows{"..............",  //
                                       ".#####..#####.",  //
                                       ".#...#..#####.",  //
                                       ".#####..#####.",  //
                                       ".............."}));
  EXPECT_EQ(s.Mask(33, 0, 21, 5), (Rows{".....................",  //
                                        ".##..#..#######..###.",  //
                                        ".##..#...........#.#.",  //
                                        ".....#...........###.",  //
                                        ".....#..............."}));
  EXPECT_TRUE(s.Shows({
      {15, 1, Opaque(0, 255, 0)},
      {20, 4, Opaque(0, 255, 0)},
      {21, 4, Opaque(0, 0, 0)},
      {18, 2, Opaque(0, 0, 0)},
  }));
  EXPECT_EQ(s.Mask(0, 30, 6, 9), (Rows{"#####.", "....#.", "....#.", "....#.", "....#.", "....#.", "....#.", "#####.",
                                       "......"}));
  EXPECT_EQ(s.Mask(57, 39, 7, 9), (Rows{".......", ".######", ".#.....", ".#.....", ".#.....", ".#.....", ".#.....",
                                        ".#.....", ".#....."}));
}

TEST(Shapes, EllipsesOutlinedAndFilledAtOddAndEvenSizes) {
  Screen s;
  s.Send({msg::Resolution(64, 48), msg::Colour(0, 255, 255)});
  s.Send({msg::Ellipse(1, 1, 7, 5, false), msg::Ellipse(10, 1, 7, 5, true), msg::Ellipse(19, 1, 8, 6, false),
          msg::Ellipse(29, 1, 8, 6, true)});
  s.Send({msg::Colour(255, 128, 0), msg::Ellipse(39, 1, 1, 1, false), msg::Ellipse(42, 1, 2, 2, false),
          msg::Ellipse(46, 1, 3, 1, true), msg::Ellipse(50, 1, 1, 4, false), msg::Ellipse(53, 1, 3, 3, false)});
  s.Send({msg::Colour(255, 255, 255), msg::Ellipse(1, 10, 15, 15, false), msg::Ellipse(18, 10, 16, 16, false),
          msg::Ellipse(36, 10, 15, 15, true), msg::Ellipse(1, 28, 30, 11, false), msg::Ellipse(33, 28, 29, 12, true)});
  s.Send({msg::Colour(128, 0, 255), msg::Ellipse(-10, 40, 20, 20, false), msg::Ellipse(50, 38, 30, 30, true)});
  EXPECT_TRUE(MatchesGolden("ellipse", s.Png()));

  // The pixels whose centres lie inside (or on) the inscribed ellipse, and
  // their edge; the corners of the box stay empty.
  EXPECT_EQ(s.Mask(1, 1, 7, 5), (Rows{".#####.", "#.....#", "#.....#", "#.....#", ".#####."}));
  EXPECT_EQ(s.Mask(10, 1, 7, 5), (Rows{".#####.", "#######", "#######", "#######", ".#####."}));
  EXPECT_EQ(s.Mask(19, 1, 8, 6), (Rows{"..####..", ".#....#.", "#......#", "#......#", ".#....#.", "..####.."}));
  EXPECT_EQ(s.Mask(29, 1, 8, 6), (Rows{"..####..", ".######.", "########", "########", ".######.", "..####.."}));
  EXPECT_EQ(s.Mask(38, 0, 19, 6), (Rows{"...................",  //
                                        ".#..##..###.#..###.",  //
                                        "....##......#..#.#.",  //
                                        "............#..###.",  //
                                        "............#......",  //
                                        "..................."}));
  for (const auto& [x, y] : std::vector<std::pair<int32_t, int32_t>>{{1, 10}, {15, 10}, {1, 24}, {15, 24}}) {
    EXPECT_EQ(s.OverBlack(x, y), Opaque(0, 0, 0)) << "box corner " << x << "," << y;
  }
  EXPECT_TRUE(s.Shows({
      {8, 10, Opaque(255, 255, 255)},  // the top of a 15-wide circle, at its middle column
      {8, 17, Opaque(0, 0, 0)},        // its centre, inside the outline
      {43, 17, Opaque(255, 255, 255)},  // filled
  }));
}

// The pixels the documented reading gives for a line, in plain arithmetic:
// point i = (x + round(i·dx/n), y + round(i·dy/n)), halves up, n the longer side.
std::set<std::pair<int64_t, int64_t>> LinePoints(int64_t x, int64_t y, int64_t x2, int64_t y2) {
  const int64_t dx = x2 - x, dy = y2 - y, n = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
  const auto round = [&](int64_t i, int64_t d) {  // floor((2id + n) / 2n)
    const int64_t num = 2 * i * d + n, den = 2 * n;
    return num >= 0 ? num / den : -((-num + den - 1) / den);
  };
  std::set<std::pair<int64_t, int64_t>> points;
  if (n == 0) return {{x, y}};
  for (int64_t i = 0; i <= n; ++i) points.insert({x + round(i, dx), y + round(i, dy)});
  return points;
}

TEST(Shapes, LinesInEveryOctantBothEndsIncluded) {
  Screen s;
  s.Send(msg::Resolution(64, 48));
  struct Case {
    int32_t x2, y2, r, g, b;
  };
  const Case octants[] = {{52, 31, 255, 0, 0},  {39, 44, 255, 128, 0}, {25, 44, 255, 255, 0}, {12, 31, 0, 255, 0},
                          {12, 17, 0, 255, 255}, {25, 4, 0, 128, 255},  {39, 4, 128, 0, 255},  {52, 17, 255, 0, 255}};
  for (const Case& c : octants) s.Send({msg::Colour(c.r, c.g, c.b), msg::Line(32, 24, c.x2, c.y2)});
  s.Send({msg::Colour(255, 255, 255), msg::Line(58, 2, 58, 20), msg::Line(4, 45, 30, 45), msg::Line(61, 2, 61, 2)});
  // Far off the screen at both ends, crossing it; the longest line there is.
  s.Send({msg::Colour(200, 200, 200), msg::Line(-40000, -29990, 40064, 30058)});
  s.Send({msg::Colour(100, 100, 255), msg::Line(INT32_MIN, INT32_MIN + 40, INT32_MAX - 40, INT32_MAX)});
  EXPECT_TRUE(MatchesGolden("line", s.Png()));

  for (const Case& c : octants) {
    EXPECT_EQ(s.OverBlack(c.x2, c.y2), Opaque(uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)))
        << "end " << c.x2 << "," << c.y2;
  }
  // One pixel per step of the longer axis: the last line drawn keeps all 21.
  int drawn = 0;
  for (int32_t y = 0; y < 48; ++y) {
    for (int32_t x = 0; x < 64; ++x) drawn += s.OverBlack(x, y) == Opaque(255, 0, 255);
  }
  EXPECT_EQ(drawn, 21);
  Rows vertical(21, ".#.");
  vertical.front() = vertical.back() = "...";
  EXPECT_EQ(s.Mask(57, 1, 3, 21), vertical);
  EXPECT_TRUE(s.Shows({
      {4, 45, Opaque(255, 255, 255)},
      {30, 45, Opaque(255, 255, 255)},
      {31, 45, Opaque(0, 0, 0)},
  }));
  EXPECT_EQ(s.Mask(60, 1, 3, 3), (Rows{"...", ".#.", "..."}));
  // The far lines: exactly the pixels the reading gives.
  const auto far = LinePoints(-40000, -29990, 40064, 30058);
  int on_screen = 0;
  for (const auto& [x, y] : far) {
    if (x < 0 || y < 0 || x >= 64 || y >= 48) continue;
    ++on_screen;
    const Pixel p = s.OverBlack(int32_t(x), int32_t(y));
    EXPECT_TRUE(p == Opaque(200, 200, 200) || p == Opaque(100, 100, 255)) << x << "," << y << " is " << Rgba(p);
  }
  EXPECT_GT(on_screen, 40);
  // The longest: a diagonal 40 pixels below the main one.
  for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(s.OverBlack(x, x + 40), Opaque(100, 100, 255)) << x;
  EXPECT_EQ(s.OverBlack(1, 40), Opaque(0, 0, 0));
}

TEST(Shapes, LineStepsRoundHalvesUp) {
  Screen s;
  s.Send({msg::Resolution(64, 48), msg::Line(1, 1, 5, 2), msg::Line(1, 5, 5, 4), msg::Line(5, 7, 1, 8),
          msg::Line(10, 1, 11, 5)});
  EXPECT_EQ(s.Mask(1, 1, 5, 2), (Rows{"##...", "..###"}));  // i = 2: y + 0.5 → y + 1
  EXPECT_EQ(s.Mask(1, 4, 5, 2), (Rows{"...##", "###.."}));  // i = 2: y - 0.5 → y
  EXPECT_EQ(s.Mask(1, 7, 5, 2), (Rows{"...##", "###.."}));
  EXPECT_EQ(s.Mask(10, 1, 2, 5), (Rows{"#.", "#.", ".#", ".#", ".#"}));
  for (const auto& [x, y] : LinePoints(5, 7, 1, 8)) {
    EXPECT_EQ(s.OverBlack(int32_t(x), int32_t(y)), Opaque(255, 255, 255));
  }
}

// A shape, as the documented reading gives its pixels.
struct Shape {
  bool ellipse, filled;
  int64_t x, y, w, h;

  // The centre of (px, py) inside the box, or the ellipse inscribed in it
  // (on it included): X²h² + Y²w² <= w²h², in exact integers.
  bool Holds(int64_t px, int64_t py) const {
    if (!ellipse) return px >= x && px < x + w && py >= y && py < y + h;
    const int64_t X = 2 * px + 1 - (2 * x + w), Y = 2 * py + 1 - (2 * y + h);
    if (X > w || -X > w || Y > h || -Y > h) return false;
    const auto square = [](int64_t v) { return uint64_t(v < 0 ? -v : v) * uint64_t(v < 0 ? -v : v); };
    return Add(Multiply(square(X), square(h)), Multiply(square(Y), square(w))) <= Multiply(square(w), square(h));
  }
  // Filled, or on the edge: a neighbour above, below, left or right outside.
  bool Draws(int64_t px, int64_t py) const {
    return Holds(px, py) && (filled || !Holds(px - 1, py) || !Holds(px + 1, py) || !Holds(px, py - 1) ||
                             !Holds(px, py + 1));
  }
  void Draw(Painter& painter) const {
    if (ellipse) DrawEllipse(painter, x, y, w, h, filled, Pixel{255, 255, 255, 255});
    else DrawRect(painter, x, y, w, h, filled, Pixel{255, 255, 255, 255});
  }
};

// A line's point at step i, as the documented reading gives it:
// round(i·d/n) = floor((2id + n) / 2n), for 0 <= i <= n and |d| <= n.
int64_t Along(int64_t i, int64_t d, int64_t n) {
  uint64_t rest = 0;
  const U128 twice = Multiply(2 * uint64_t(i), uint64_t(d < 0 ? -d : d));
  if (d >= 0) return int64_t(Divide(Add(twice, {0, uint64_t(n)}), 2 * uint64_t(n), rest));
  if (twice < U128{0, uint64_t(n)}) return 0;
  const U128 minus = Subtract(twice, {0, uint64_t(n)});  // 2i|d| - n, then a ceiling
  const uint64_t q = Divide(minus, 2 * uint64_t(n), rest);
  return -int64_t(q + (rest != 0 ? 1 : 0));
}

// The line's points that lie in `clip`.
std::set<std::pair<int64_t, int64_t>> LineIn(int64_t x, int64_t y, int64_t x2, int64_t y2, const Box& clip) {
  const int64_t dx = x2 - x, dy = y2 - y, n = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
  std::set<std::pair<int64_t, int64_t>> points;
  const auto keep = [&](int64_t px, int64_t py) {
    if (px >= clip.x0 && px < clip.x1 && py >= clip.y0 && py < clip.y1) points.insert({px, py});
  };
  const bool wide = (dx < 0 ? -dx : dx) == n;
  // The steps whose longer coordinate lies in the clip; the rest cannot.
  const int64_t start = wide ? x : y, sign = (wide ? dx : dy) < 0 ? -1 : 1;
  const int64_t low = wide ? clip.x0 : clip.y0, high = wide ? clip.x1 : clip.y1;
  for (int64_t at = low; at < high; ++at) {
    const int64_t i = (at - start) * sign;
    if (n == 0 || i < 0 || i > n) continue;
    if (wide) keep(at, y + Along(i, dy, n));
    else keep(x + Along(i, dx, n), at);
  }
  if (n == 0) keep(x, y);
  return points;
}

// Draws on a 48 × 40 layer through `clip`: the pixels drawn, and the rows
// or steps the shape went through.
std::pair<std::set<std::pair<int64_t, int64_t>>, int64_t> Drawn(const Box& clip, const std::function<void(Painter&)>& draw) {
  Layer layer(48, 40);
  Painter painter(layer, clip);
  const int64_t before = WorkOnThisThread().shapeRows;
  draw(painter);
  std::set<std::pair<int64_t, int64_t>> pixels;
  for (int32_t y = 0; y < 40; ++y) {
    for (int32_t x = 0; x < 48; ++x) {
      if (layer.At(x, y) != Pixel{}) pixels.insert({x, y});
    }
  }
  return {pixels, WorkOnThisThread().shapeRows - before};
}

std::set<std::pair<int64_t, int64_t>> ShapeIn(const Shape& shape, const Box& clip) {
  std::set<std::pair<int64_t, int64_t>> pixels;
  for (int64_t y = clip.y0; y < clip.y1; ++y) {
    for (int64_t x = clip.x0; x < clip.x1; ++x) {
      if (shape.Draws(x, y)) pixels.insert({x, y});
    }
  }
  return pixels;
}

int64_t RowsOf(const std::set<std::pair<int64_t, int64_t>>& pixels) {
  std::set<int64_t> rows;
  for (const auto& p : pixels) rows.insert(p.second);
  return int64_t(rows.size());
}

TEST(Shapes, ThroughAnyClipTheReadingsPixelsAndOnlyRowsThatDraw) {
  std::mt19937 random(20240611);
  const auto between = [&](int64_t a, int64_t b) { return std::uniform_int_distribution<int64_t>(a, b)(random); };
  for (int round = 0; round < 1500; ++round) {
    const int64_t cx = between(0, 48), cy = between(0, 40);
    const Box clip{cx, cy, between(cx, 48), between(cy, 40)};
    const Shape shape{round % 3 != 0, round % 2 == 0, between(-30, 60), between(-30, 50), between(1, 60), between(1, 60)};
    const auto [pixels, rows] = Drawn(clip, [&](Painter& p) { shape.Draw(p); });
    const auto expected = ShapeIn(shape, clip);
    ASSERT_EQ(pixels, expected) << (shape.ellipse ? "ellipse " : "rect ") << shape.x << "," << shape.y << " "
                                << shape.w << "x" << shape.h << (shape.filled ? " filled" : "");
    EXPECT_EQ(rows, RowsOf(expected)) << round;
    const int64_t x = between(-40, 90), y = between(-40, 80), x2 = between(-40, 90), y2 = between(-40, 80);
    const auto [points, steps] = Drawn(clip, [&](Painter& p) { DrawLine(p, x, y, x2, y2, Pixel{255, 255, 255, 255}); });
    const auto line = LineIn(x, y, x2, y2, clip);
    ASSERT_EQ(points, line) << x << "," << y << " to " << x2 << "," << y2;
    if (x != x2 || y != y2) {
      EXPECT_EQ(steps, int64_t(line.size())) << round;
    }
  }
}

TEST(Shapes, AtTheEndsOfTheIntegerRangeTheReadingsPixelsAndOnlyRowsThatDraw) {
  const int64_t half = 1073741823;  // (2^31 - 1) / 2: the half-width of the widest box
  const int64_t diagonal = 759250124;  // its radius over √2
  const Shape shapes[] = {
      {true, false, 24 - half, 20 - half, INT32_MAX, INT32_MAX},      // the layer inside it
      {true, false, 24 - half, 20 - INT32_MAX, INT32_MAX, INT32_MAX},  // its bottom across row 19
      {true, false, 24 - half, 20, INT32_MAX, INT32_MAX},              // its top across row 20
      {true, false, 30, 20 - half, INT32_MAX, INT32_MAX},              // its left down column 30
      {true, false, 30 - INT32_MAX, 20 - half, INT32_MAX, INT32_MAX},  // its right down column 29
      {true, false, 24 - diagonal - half, 20 - diagonal - half, INT32_MAX, INT32_MAX},  // across, at 45°
      {true, false, 0, 0, INT32_MAX, INT32_MAX},                       // the layer in its box, outside it
      {true, false, INT32_MIN, 17, INT32_MAX, 5},                      // long and flat
      {true, false, 21, INT32_MIN, 3, INT32_MAX},                      // long and thin
      {true, false, INT32_MAX - 10, 0, 100, 100},                      // wholly to the right
      {false, false, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},      // a rectangle ending at -2
      {false, false, -10, -10, INT32_MAX, INT32_MAX},                  // one around the layer
      {false, false, 20, -10, INT32_MAX, 30},                          // its left edge across it
  };
  const Box clip{0, 0, 48, 40};
  for (Shape shape : shapes) {
    for (const bool filled : {false, true}) {
      shape.filled = filled;
      const auto [pixels, rows] = Drawn(clip, [&](Painter& p) { shape.Draw(p); });
      const auto expected = ShapeIn(shape, clip);
      EXPECT_EQ(pixels, expected) << shape.x << "," << shape.y << " " << shape.w << "x" << shape.h << " " << filled;
      EXPECT_EQ(rows, RowsOf(expected)) << shape.x << "," << shape.y << " " << shape.w << "x" << shape.h << " " << filled;
    }
  }
  struct Line {
    int64_t x, y, x2, y2;
  };
  const Line lines[] = {
      {INT32_MIN, INT32_MIN + 40, INT32_MAX - 40, INT32_MAX},  // corner to corner, crossing
      {INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN + 40000},    // corner to corner, passing it by
      {INT32_MIN, 10, INT32_MAX, 30},                          // flat, each way
      {INT32_MAX, 30, INT32_MIN, 10},
      {10, INT32_MIN, 40, INT32_MAX},                          // steep, each way
      {40, INT32_MAX, 10, INT32_MIN},
      {INT32_MIN, -1, INT32_MAX, -2},                          // just above
  };
  for (const Line& l : lines) {
    const auto [points, steps] = Drawn(clip, [&](Painter& p) { DrawLine(p, l.x, l.y, l.x2, l.y2, Pixel{255, 255, 255, 255}); });
    const auto expected = LineIn(l.x, l.y, l.x2, l.y2, clip);
    EXPECT_EQ(points, expected) << l.x << "," << l.y << " to " << l.x2 << "," << l.y2;
    EXPECT_EQ(steps, int64_t(expected.size())) << l.x << "," << l.y << " to " << l.x2 << "," << l.y2;
  }
}

TEST(Blending, SourceOverInIntegers) {
  Screen s;
  s.Send(msg::Resolution(64, 48));
  // Columns: the colour under; rows: the alpha of red drawn over it.
  const int32_t under[][3] = {{255, 255, 255}, {0, 0, 0}, {0, 0, 255}, {128, 128, 128}, {255, 255, 0}, {40, 200, 90}};
  const int32_t alphas[] = {0, 1, 64, 127, 128, 200, 254, 255};
  for (int32_t c = 0; c < 6; ++c) {
    s.Send({msg::Colour(under[c][0], under[c][1], under[c][2]), msg::Rect(2 + 10 * c, 2, 10, 44, true)});
    for (int32_t r = 0; r < 8; ++r) {
      s.Send({msg::Colour(255, 0, 0, alphas[r]), msg::Rect(2 + 10 * c, 2 + 5 * r, 10, 5, true)});
    }
  }
  // White at 128 below, twice over the black column.
  s.Send({msg::Colour(255, 255, 255, 128), msg::Rect(2, 42, 60, 4, true), msg::Rect(12, 42, 10, 4, true)});
  EXPECT_TRUE(MatchesGolden("blend", s.Png()));

  const auto cell = [&](int32_t c, int32_t r) { return s.OverBlack(4 + 10 * c, 4 + 5 * r); };
  EXPECT_EQ(cell(0, 0), Opaque(255, 255, 255));  // alpha 0 draws nothing
  EXPECT_EQ(cell(0, 1), Opaque(255, 254, 254));
  EXPECT_EQ(cell(0, 4), Opaque(255, 127, 127));  // (255,0,0,128) over white
  EXPECT_EQ(cell(1, 4), Opaque(128, 0, 0));
  EXPECT_EQ(cell(2, 4), Opaque(128, 0, 127));
  EXPECT_EQ(cell(3, 3), Opaque(191, 64, 64));  // 127 + round(128·128/255)
  EXPECT_EQ(cell(4, 5), Opaque(255, 55, 0));
  EXPECT_EQ(cell(0, 7), Opaque(255, 0, 0));
  EXPECT_EQ(s.OverBlack(24, 43), Opaque(128, 128, 255));
  EXPECT_EQ(s.OverBlack(14, 43), Opaque(192, 192, 192));  // 128 + round(128·127/255)
}

TEST(Blending, OverNothingKeepsAlphaInAnOverlay) {
  Screen s;
  s.Send(msg::Resolution(64, 48));
  const int32_t alphas[] = {1, 64, 128, 200, 255};
  for (int32_t i = 0; i < 5; ++i) {
    s.Send({msg::Colour(255, 0, 0, alphas[i]), msg::Rect(2 + 12 * i, 2, 10, 20, true)});
    s.Send({msg::Colour(0, 0, 255, 128), msg::Rect(2 + 12 * i, 12, 10, 20, true)});
  }
  EXPECT_TRUE(MatchesGolden("blend_overlay", s.Png(true)));

  const Layer frame = s.Frame();
  const std::vector<Pixel> picture = Picture(frame, true);
  const auto at = [&](int32_t x, int32_t y) { return picture[size_t(y) * 64 + size_t(x)]; };
  EXPECT_EQ(at(26, 4), (Pixel{255, 0, 0, 128}));
  EXPECT_EQ(at(26, 14), (Pixel{85, 0, 170, 192}));  // (64,0,128,192) premultiplied
  EXPECT_EQ(at(26, 26), (Pixel{0, 0, 255, 128}));
  EXPECT_EQ(at(50, 14), (Pixel{127, 0, 128, 255}));
  EXPECT_EQ(at(1, 1), (Pixel{0, 0, 0, 0}));
}

TEST(Clearing, DrawClearEmptiesOnlyTheCurrentTarget) {
  Screen s;
  s.Send({msg::Resolution(64, 48), msg::Colour(0, 0, 255), msg::Rect(0, 0, 64, 48, true)});
  s.Send({msg::Create("s", 32, 24), msg::Edit("s"), msg::Bound(16, 12), msg::Colour(255, 0, 0),
          msg::Rect(0, 0, 32, 24, true), msg::Colour(0, 255, 0), msg::Ellipse(4, 4, 24, 16, true)});
  EXPECT_EQ(s.OverBlack(20, 16), Opaque(255, 0, 0));
  s.Send({msg::Clear(), msg::Colour(255, 255, 255), msg::Point(1, 1)});
  EXPECT_TRUE(MatchesGolden("clear_sprite", s.Png()));
  EXPECT_EQ(s.OverBlack(20, 16), Opaque(0, 0, 255));
  EXPECT_EQ(s.OverBlack(17, 13), Opaque(255, 255, 255));

  s.Send({msg::Edit(""), msg::Clear()});
  EXPECT_TRUE(MatchesGolden("clear_screen", s.Png()));
  EXPECT_EQ(s.OverBlack(0, 0), Opaque(0, 0, 0));
  EXPECT_EQ(s.OverBlack(17, 13), Opaque(255, 255, 255));
  EXPECT_EQ(s.Mask(14, 10, 5, 5), (Rows{".....", ".....", ".....", "...#.", "....."}));
  EXPECT_TRUE(s.Warnings().empty());
}

}  // namespace
