// PNG files written by the monitor itself, the same bytes on every target:
// RGBA with 8 bits a channel, straight alpha, each row filtered by whichever
// of None, Sub, Up and Paeth leaves the smallest sum of magnitudes, then
// deflated by stb_image_write's compressor. Also animated PNG (APNG).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pixels/layer.h"

// The screen's pixels, row by row, straight alpha: as a viewer sees them
// over the view's black backdrop, or, for an overlay, over nothing.
std::vector<Pixel> Picture(const Layer& frame, bool overlay);

std::string EncodePng(int32_t width, int32_t height, const std::vector<Pixel>& pixels);
