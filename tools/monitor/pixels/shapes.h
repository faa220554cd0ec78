// The shapes the host draws, in whole pixels with no anti-aliasing, each
// pixel blended once, in exact integer arithmetic for any 32-bit arguments:
// - a line includes both end points: for each step i = 0..n along the longer
//   axis (n = max(|dx|, |dy|)), the point (x + i·dx/n, y + i·dy/n), each
//   coordinate rounded to the nearest, halves up;
// - a rectangle covers x..x+w-1 by y..y+h-1; an ellipse, the pixels whose
//   centres lie inside the ellipse inscribed in that box (on it included);
// - an outline is the 1-pixel edge of the filled shape: its pixels with a
//   neighbour above, below, left or right outside it.
// Each costs what it draws in the painter's clip and a little more: a line
// goes through only its steps that lie in the clip, a rectangle or an
// ellipse only its rows that draw there.
#pragma once

#include <cstdint>

#include "pixels/layer.h"

void DrawPoint(Painter& painter, int64_t x, int64_t y, Pixel colour);
void DrawLine(Painter& painter, int64_t x, int64_t y, int64_t x2, int64_t y2, Pixel colour);
// A box of zero or negative size draws nothing.
void DrawRect(Painter& painter, int64_t x, int64_t y, int64_t w, int64_t h, bool filled, Pixel colour);
void DrawEllipse(Painter& painter, int64_t x, int64_t y, int64_t w, int64_t h, bool filled, Pixel colour);
