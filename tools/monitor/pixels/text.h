// Text drawn from the fonts compiled into the monitor: DejaVu Sans, and
// IPAGothic for what DejaVu Sans lacks (Japanese among it); a character
// neither has is drawn as U+FFFD. Glyphs are rasterized by stb_truetype with
// anti-aliased coverage and placed on whole pixels; the pen advances in
// 1/64 pixels, computed in integers from the fonts' own units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pixels/layer.h"

// Draws UTF-8 `text` with the top of its line at (x, y): `size` is the font
// size in pixels (the fonts' em square), control characters draw nothing.
// It costs what it draws plus its length: a glyph wholly outside the
// painter's clip is not rasterized, and the text is laid out only as far as
// a glyph can still reach the clip.
void DrawText(Painter& painter, int64_t x, int64_t y, int32_t size, std::string_view text, Pixel colour);
// Whether DrawText can draw anything in `clip` of a text of at most
// `characters` characters: one that cannot need not even be read.
bool TextCanReach(const Box& clip, int64_t x, int64_t y, int32_t size, size_t characters);
