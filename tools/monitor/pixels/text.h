// Text drawn from the fonts compiled into the monitor: DejaVu Sans, and
// IPAGothic for what DejaVu Sans lacks (Japanese among it); a character
// neither has is drawn as U+FFFD. Glyphs are rasterized by stb_truetype with
// anti-aliased coverage and placed on whole pixels; the pen advances in
// 1/64 pixels, computed in integers from the fonts' own units.
#pragma once

#include <cstdint>
#include <string_view>

#include "pixels/layer.h"

// Draws UTF-8 `text` with the top of its line at (x, y): `size` is the font
// size in pixels (the fonts' em square), control characters draw nothing.
void DrawText(Painter& painter, int64_t x, int64_t y, int32_t size, std::string_view text, Pixel colour);
