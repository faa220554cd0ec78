// One pixel, premultiplied RGBA in 8-bit channels, and the integer
// arithmetic every layer, composition and export shares. Blending is
// source-over, channel by channel (alpha included):
//   out = src + round(dst * (255 - src.a) / 255)
// with round() to the nearest, halves up, computed exactly by Div255.
#pragma once

#include <cstdint>

struct Pixel {
  uint8_t r = 0, g = 0, b = 0, a = 0;
  friend bool operator==(const Pixel&, const Pixel&) = default;
};

// round(x / 255) for x in 0..65025.
constexpr uint32_t Div255(uint32_t x) { return (x + 128 + ((x + 128) >> 8)) >> 8; }

constexpr uint8_t Scale(uint8_t channel, uint8_t by) { return static_cast<uint8_t>(Div255(uint32_t{channel} * by)); }

// A colour as the host sends it (straight alpha), premultiplied.
constexpr Pixel Premultiply(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  return {Scale(r, a), Scale(g, a), Scale(b, a), a};
}

// The pixel at `opacity`/255 of its strength.
constexpr Pixel Fade(Pixel p, uint8_t opacity) {
  if (opacity == 255) return p;
  return {Scale(p.r, opacity), Scale(p.g, opacity), Scale(p.b, opacity), Scale(p.a, opacity)};
}

// `src` over `dst`.
constexpr Pixel Over(Pixel dst, Pixel src) {
  if (src.a == 255) return src;
  const uint8_t keep = static_cast<uint8_t>(255 - src.a);
  return {static_cast<uint8_t>(src.r + Scale(dst.r, keep)), static_cast<uint8_t>(src.g + Scale(dst.g, keep)),
          static_cast<uint8_t>(src.b + Scale(dst.b, keep)), static_cast<uint8_t>(src.a + Scale(dst.a, keep))};
}

// Back to straight alpha, as PNG files and the page's canvas hold colour.
constexpr Pixel Unpremultiply(Pixel p) {
  if (p.a == 255 || p.a == 0) return p.a == 0 ? Pixel{} : p;
  const auto channel = [&](uint8_t c) {
    const uint32_t v = (uint32_t{c} * 255 + p.a / 2u) / p.a;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
  };
  return {channel(p.r), channel(p.g), channel(p.b), p.a};
}

// A pixel as a viewer sees it, straight alpha: over the view's black
// backdrop, or, for an overlay, over nothing.
constexpr Pixel Shown(Pixel p, bool overlay) { return overlay ? Unpremultiply(p) : Pixel{p.r, p.g, p.b, 255}; }
