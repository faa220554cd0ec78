#include "pixels/text.h"

#include <algorithm>
#include <cstdlib>
#include <list>
#include <map>
#include <tuple>
#include <vector>

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>

#include "input/utf8.h"
#include "pixels/fonts.h"
#include "pixels/work.h"

namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

struct Font {
  stbtt_fontinfo info{};
  int64_t em = 2048;  // units per em
  // The union of its glyphs' boxes, in its units: a glyph's bitmap is cut
  // to its box, so nothing of this font is drawn outside it.
  int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// The two fonts, read once.
const std::vector<Font>& Fonts() {
  static const std::vector<Font> fonts = [] {
    std::vector<Font> list(2);
    const unsigned char* data[] = {FontData(FontFace::kDejaVuSans), FontData(FontFace::kIpaGothic)};
    for (size_t i = 0; i < list.size(); ++i) {
      Font& font = list[i];
      if (stbtt_InitFont(&font.info, data[i], 0) == 0) std::abort();
      // unitsPerEm, big-endian at offset 18 of the 'head' table.
      const unsigned char* units = font.info.data + font.info.head + 18;
      font.em = (int64_t{units[0]} << 8) | units[1];
      for (int glyph = 0; glyph < font.info.numGlyphs; ++glyph) {
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        if (stbtt_GetGlyphBox(&font.info, glyph, &x0, &y0, &x1, &y1) == 0) continue;
        font.x0 = std::min<int64_t>(font.x0, x0);
        font.y0 = std::min<int64_t>(font.y0, y0);
        font.x1 = std::max<int64_t>(font.x1, x1);
        font.y1 = std::max<int64_t>(font.y1, y1);
      }
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
// to a bound in bytes; past it the least recently used go.
class GlyphCache {
 public:
  const Glyph& Get(int font, int glyph, int32_t size) {
    const Key key{font, glyph, size};
    if (const auto found = glyphs_.find(key); found != glyphs_.end()) {
      used_.splice(used_.end(), used_, found->second.used);
      return found->second.glyph;
    }
    Entry& made = glyphs_[key];
    Rasterize(font, glyph, size, made.glyph);
    made.bytes = made.glyph.coverage.size() + sizeof(Entry) + 96;
    made.used = used_.insert(used_.end(), key);
    bytes_ += made.bytes;
    while (bytes_ > kMaxBytes && used_.front() != key) {
      const auto oldest = glyphs_.find(used_.front());
      bytes_ -= oldest->second.bytes;
      glyphs_.erase(oldest);
      used_.pop_front();
    }
    return made.glyph;
  }

 private:
  static void Rasterize(int font, int glyph, int32_t size, Glyph& made) {
    ++WorkOnThisThread().glyphs;
    const stbtt_fontinfo& info = Fonts()[size_t(font)].info;
    const float scale = stbtt_ScaleForMappingEmToPixels(&info, float(size));
    unsigned char* bitmap =
        stbtt_GetGlyphBitmap(&info, scale, scale, glyph, &made.width, &made.height, &made.left, &made.top);
    if (bitmap == nullptr) {
      made.width = made.height = 0;
      return;
    }
    made.coverage.assign(bitmap, bitmap + size_t(made.width) * size_t(made.height));
    stbtt_FreeBitmap(bitmap, nullptr);
  }

  using Key = std::tuple<int, int, int32_t>;
  struct Entry {
    Glyph glyph;
    size_t bytes = 0;
    std::list<Key>::iterator used;
  };
  static constexpr size_t kMaxBytes = size_t{8} << 20;
  std::map<Key, Entry> glyphs_;
  std::list<Key> used_;  // least recently used first
  size_t bytes_ = 0;
};

// The next code point of UTF-8 `text` from `at`, or U+FFFD for a byte that
// does not start a well-formed sequence.
uint32_t NextCharacter(std::string_view text, size_t& at) {
  const CodePoint next = NextCodePoint(text.substr(at));
  at += std::max<size_t>(next.length, 1);
  return next.length == 0 ? 0xFFFD : next.point;
}

// A font's units in 1/64 pixels at `size`, rounded.
int64_t ToPen(int64_t units, int32_t size, int64_t em) {
  const int64_t scaled = units * size * 64;
  return scaled >= 0 ? (scaled + em / 2) / em : -((-scaled + em / 2) / em);
}

// What holds for every glyph of either font at a size, whatever the text:
// the box its bitmap lies in, in pixels from the pen on the baseline (a
// pixel to spare for stb_truetype's float scale), and how far it moves the
// pen, in 1/64 pixels: back by its kerning at most (an int16 in font
// units), forth by its kerning and its advance (a uint16). The baseline lies
// `ascent` pixels below the top of the line.
struct Reach {
  int64_t ascent = 0;
  int64_t left = 0, top = 0, right = 0, bottom = 0;
  int64_t back = 0, forth = 0;
};

Reach ReachAt(int32_t size) {
  const std::vector<Font>& fonts = Fonts();
  int ascent = 0, descent = 0, gap = 0;
  stbtt_GetFontVMetrics(&fonts[0].info, &ascent, &descent, &gap);
  Reach r;
  r.ascent = FloorDiv(ToPen(ascent, size, fonts[0].em) + 32, 64);
  for (const Font& f : fonts) {
    r.left = std::min(r.left, FloorDiv(f.x0 * size, f.em) - 1);
    r.top = std::min(r.top, FloorDiv(-f.y1 * size, f.em) - 1);
    r.right = std::max(r.right, CeilDiv(f.x1 * size, f.em) + 1);
    r.bottom = std::max(r.bottom, CeilDiv(-f.y0 * size, f.em) + 1);
    r.back = std::max(r.back, -ToPen(-32768, size, f.em));
    r.forth = std::max(r.forth, ToPen(32767, size, f.em) + ToPen(65535, size, f.em));
  }
  return r;
}

// Whether any of `count` glyphs or fewer, laid out from `pen` (1/64 pixels
// from x) on the baseline, can land in the clip.
bool Reaches(const Box& clip, const Reach& r, int64_t x, int64_t baseline, int64_t pen, int64_t count) {
  return !clip.Empty() && baseline + r.bottom > clip.y0 && baseline + r.top < clip.y1 &&
         x + FloorDiv(pen - count * r.back + 32, 64) + r.left < clip.x1 &&
         x + FloorDiv(pen + count * r.forth + 32, 64) + r.right > clip.x0;
}

}  // namespace

bool TextCanReach(const Box& clip, int64_t x, int64_t y, int32_t size, size_t characters) {
  const Reach reach = ReachAt(size);
  return Reaches(clip, reach, x, y + reach.ascent, 0, int64_t(std::min<size_t>(characters, size_t{1} << 31)));
}

void DrawText(Painter& painter, int64_t x, int64_t y, int32_t size, std::string_view text, Pixel colour) {
  thread_local GlyphCache cache;
  const std::vector<Font>& fonts = Fonts();
  const Box& clip = painter.clip();
  const Reach reach = ReachAt(size);
  const int64_t baseline = y + reach.ascent;
  const float scales[] = {stbtt_ScaleForMappingEmToPixels(&fonts[0].info, float(size)),
                          stbtt_ScaleForMappingEmToPixels(&fonts[1].info, float(size))};
  int64_t pen = 0;  // 1/64 pixels from x
  int previous_font = -1, previous_glyph = 0;
  for (size_t at = 0; at < text.size();) {
    // The glyphs left take a byte each at least: once none of them can reach
    // the clip, the rest is not laid out.
    if (!Reaches(clip, reach, x, baseline, pen, int64_t(text.size() - at))) return;
    const uint32_t point = NextCharacter(text, at);
    if (point < 0x20 || point == 0x7F) continue;
    int font = 0;
    int glyph = stbtt_FindGlyphIndex(&fonts[0].info, int(point));
    if (glyph == 0 && (glyph = stbtt_FindGlyphIndex(&fonts[1].info, int(point))) != 0) font = 1;
    if (glyph == 0) glyph = stbtt_FindGlyphIndex(&fonts[0].info, 0xFFFD), font = 0;
    const Font& face = fonts[size_t(font)];
    if (font == previous_font) {
      pen += ToPen(stbtt_GetGlyphKernAdvance(&face.info, previous_glyph, glyph), size, face.em);
    }
    // The glyph's bitmap box, as rasterizing would cut it: one wholly
    // outside the clip is not rasterized.
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetGlyphBitmapBox(&face.info, glyph, scales[font], scales[font], &x0, &y0, &x1, &y1);
    const int64_t origin = x + FloorDiv(pen + 32, 64);
    if (x0 < x1 && y0 < y1 && origin + x1 > clip.x0 && origin + x0 < clip.x1 && baseline + y1 > clip.y0 &&
        baseline + y0 < clip.y1) {
      const Glyph& shape = cache.Get(font, glyph, size);
      for (int row = 0; row < shape.height; ++row) {
        painter.Cover(baseline + shape.top + row, origin + shape.left,
                      shape.coverage.data() + size_t(row) * size_t(shape.width), shape.width, colour);
      }
    }
    int advance = 0, bearing = 0;
    stbtt_GetGlyphHMetrics(&face.info, glyph, &advance, &bearing);
    pen += ToPen(advance, size, face.em);
    previous_font = font;
    previous_glyph = glyph;
  }
}
