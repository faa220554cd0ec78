#include "pixels/text.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>

#include "pixels/fonts.h"

namespace {

struct Font {
  stbtt_fontinfo info{};
  int64_t em = 2048;  // units per em
};

// The two fonts, read once.
const std::vector<Font>& Fonts() {
  static const std::vector<Font> fonts = [] {
    std::vector<Font> list(2);
    const unsigned char* data[] = {FontData(FontFace::kDejaVuSans), FontData(FontFace::kIpaGothic)};
    for (size_t i = 0; i < list.size(); ++i) {
      if (stbtt_InitFont(&list[i].info, data[i], 0) == 0) std::abort();
      // unitsPerEm, big-endian at offset 18 of the 'head' table.
      const unsigned char* units = list[i].info.data + list[i].info.head + 18;
      list[i].em = (int64_t{units[0]} << 8) | units[1];
    }
    return list;
  }();
  return fonts;
}

struct Glyph {
  int width = 0, height = 0, left = 0, top = 0;  // the bitmap and its offset from the pen on the baseline
  std::vector<uint8_t> coverage;
};

// Rasterized glyphs, per thread (each thread that draws keeps its own), up
// to a bound in bytes; past it the cache starts afresh.
class GlyphCache {
 public:
  const Glyph& Get(int font, int glyph, int32_t size) {
    const auto key = std::make_tuple(font, glyph, size);
    if (const auto found = glyphs_.find(key); found != glyphs_.end()) return found->second;
    if (bytes_ > kMaxBytes) {
      glyphs_.clear();
      bytes_ = 0;
    }
    Glyph& made = glyphs_[key];
    const stbtt_fontinfo& info = Fonts()[size_t(font)].info;
    const float scale = stbtt_ScaleForMappingEmToPixels(&info, float(size));
    unsigned char* bitmap =
        stbtt_GetGlyphBitmap(&info, scale, scale, glyph, &made.width, &made.height, &made.left, &made.top);
    if (bitmap != nullptr) {
      made.coverage.assign(bitmap, bitmap + size_t(made.width) * size_t(made.height));
      stbtt_FreeBitmap(bitmap, nullptr);
    }
    bytes_ += made.coverage.size() + sizeof(Glyph) + 64;
    return made;
  }

 private:
  static constexpr size_t kMaxBytes = size_t{8} << 20;
  std::map<std::tuple<int, int, int32_t>, Glyph> glyphs_;
  size_t bytes_ = 0;
};

// The next code point of UTF-8 `text` from `at`, or U+FFFD for a byte that
// does not start a well-formed sequence.
uint32_t NextCodePoint(std::string_view text, size_t& at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  int length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                                                   : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  uint32_t point = length == 1 ? lead : length == 2 ? lead & 0x1Fu : length == 3 ? lead & 0x0Fu : lead & 0x07u;
  if (length == 0 || at + size_t(length) > text.size()) {
    ++at;
    return 0xFFFD;
  }
  for (int i = 1; i < length; ++i) {
    if ((byte(at + size_t(i)) & 0xC0) != 0x80) {
      ++at;
      return 0xFFFD;
    }
    point = (point << 6) | (byte(at + size_t(i)) & 0x3Fu);
  }
  at += size_t(length);
  return point;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// A font's units in 1/64 pixels at `size`, rounded.
int64_t ToPen(int64_t units, int32_t size, int64_t em) {
  const int64_t scaled = units * size * 64;
  return scaled >= 0 ? (scaled + em / 2) / em : -((-scaled + em / 2) / em);
}

}  // namespace

void DrawText(Painter& painter, int64_t x, int64_t y, int32_t size, std::string_view text, Pixel colour) {
  thread_local GlyphCache cache;
  const std::vector<Font>& fonts = Fonts();
  int ascent = 0, descent = 0, gap = 0;
  stbtt_GetFontVMetrics(&fonts[0].info, &ascent, &descent, &gap);
  const int64_t baseline = y + FloorDiv(ToPen(ascent, size, fonts[0].em) + 32, 64);
  int64_t pen = 0;  // 1/64 pixels from x
  int previous_font = -1, previous_glyph = 0;
  for (size_t at = 0; at < text.size();) {
    const uint32_t point = NextCodePoint(text, at);
    if (point < 0x20 || point == 0x7F) continue;
    int font = 0;
    int glyph = stbtt_FindGlyphIndex(&fonts[0].info, int(point));
    if (glyph == 0 && (glyph = stbtt_FindGlyphIndex(&fonts[1].info, int(point))) != 0) font = 1;
    if (glyph == 0) glyph = stbtt_FindGlyphIndex(&fonts[0].info, 0xFFFD), font = 0;
    const Font& face = fonts[size_t(font)];
    if (font == previous_font) {
      pen += ToPen(stbtt_GetGlyphKernAdvance(&face.info, previous_glyph, glyph), size, face.em);
    }
    const Glyph& shape = cache.Get(font, glyph, size);
    const int64_t left = x + FloorDiv(pen + 32, 64) + shape.left;
    for (int row = 0; row < shape.height; ++row) {
      painter.Cover(baseline + shape.top + row, left, shape.coverage.data() + size_t(row) * size_t(shape.width),
                    shape.width, colour);
    }
    int advance = 0, bearing = 0;
    stbtt_GetGlyphHMetrics(&face.info, glyph, &advance, &bearing);
    pen += ToPen(advance, size, face.em);
    previous_font = font;
    previous_glyph = glyph;
  }
}
