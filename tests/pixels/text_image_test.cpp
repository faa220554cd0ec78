// Text from the compiled-in fonts and images from the examples folder, sent
// as real messages through the scene and composed: each picture against its
// golden PNG in tests/golden, and the pixels the documented reading fixes;
// text drawn through a clip, against the same drawn whole, and what drawing
// it costs in glyphs rasterized. VESPRINE_WRITE_GOLDEN=1 in the environment
// writes the goldens instead of comparing (look at each).
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "pixels/png.h"
#include "pixels/text.h"
#include "pixels/work.h"
#include "render_support.h"

namespace {

using Rows = std::vector<std::string>;

const std::string kLatin = "Stra\xC3\x9F" "e \xC3\xBC" "ber";          // Straße über
const std::string kWorld = "\xE4\xB8\x96\xE7\x95\x8C";                   // 世界
const std::string kTestUtf8 = "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88";    // テスト
const std::string kTestShiftJis = "\x83\x65\x83\x58\x83\x67";            // テスト

// The first and last rows of a region where something is drawn (-1: none).
std::pair<int32_t, int32_t> InkedRows(const Screen& s, int32_t x, int32_t y, int32_t w, int32_t h) {
  const Rows rows = s.Mask(x, y, w, h);
  int32_t first = -1, last = -1;
  for (int32_t j = 0; j < h; ++j) {
    if (rows[size_t(j)].find('#') == std::string::npos) continue;
    if (first < 0) first = y + j;
    last = y + j;
  }
  return {first, last};
}

std::string TextPng(const std::string& text, int32_t size, bool shift_jis = false) {
  Screen s;
  s.Send({msg::Resolution(96, 40), msg::ShiftJis(shift_jis), msg::Text(2, 2, text, size)});
  return s.Png();
}

TEST(Text, Utf8AndShiftJisAtSeveralSizes) {
  Screen s;
  s.Send({msg::Resolution(160, 120), msg::Text(2, 2, kLatin, 10), msg::Text(2, 14, kLatin, 0)});
  s.Send({msg::Colour(255, 200, 0), msg::Text(2, 34, kLatin, 24)});
  s.Send({msg::Colour(0, 255, 128), msg::Text(2, 64, kWorld, 24)});
  s.Send({msg::ShiftJis(true), msg::Colour(128, 200, 255), msg::Text(60, 64, kTestShiftJis, 24), msg::ShiftJis(false)});
  s.Send({msg::Colour(255, 128, 128, 128), msg::Text(2, 94, "Ag " + kWorld, 20)});
  EXPECT_TRUE(MatchesGolden("text", s.Png()));
  EXPECT_TRUE(s.Warnings().empty());
  // Nothing above the top of a line; something on it.
  EXPECT_EQ(InkedRows(s, 0, 0, 160, 2).first, -1);
  EXPECT_NE(InkedRows(s, 0, 2, 160, 10).first, -1);
}

TEST(Text, TheLineHangsFromItsTopAtTheFontsAscent) {
  // DejaVu Sans rises 1901 units of its 2048 above the baseline: 9.28, 14.85
  // and 22.28 pixels at 10, 16 and 24, rounded to 9, 15 and 22. An H stands
  // on the baseline, so its last row is the one above it.
  for (const auto& [size, baseline] : std::vector<std::pair<int32_t, int32_t>>{{10, 9}, {16, 15}, {24, 22}}) {
    Screen s;
    s.Send({msg::Resolution(64, 48), msg::Text(10, 10, "H", size)});
    const auto [first, last] = InkedRows(s, 0, 0, 64, 48);
    EXPECT_EQ(last, 10 + baseline - 1) << "size " << size;
    EXPECT_GT(first, 10) << "size " << size;
  }
}

TEST(Text, EncodingsSizesAndCharactersDrawnAsDocumented) {
  // テスト in Shift-JIS draws what it draws in UTF-8.
  EXPECT_TRUE(SamePng(TextPng(kTestShiftJis, 20, true), TextPng(kTestUtf8, 20)));
  // Japanese comes from the second font, not as U+FFFD.
  const std::string world = TextPng(kWorld, 20);
  EXPECT_NE(world, TextPng("\xEF\xBF\xBD\xEF\xBF\xBD", 20));
  EXPECT_NE(world, TextPng("", 20));
  // A size of 0 or less is 16; over 1024 is 1024.
  EXPECT_TRUE(SamePng(TextPng("Ag", 0), TextPng("Ag", 16)));
  EXPECT_TRUE(SamePng(TextPng("Ag", -5), TextPng("Ag", 16)));
  EXPECT_FALSE(SamePng(TextPng("Ag", 17), TextPng("Ag", 16)));
  EXPECT_TRUE(SamePng(TextPng("H", 5000), TextPng("H", 1024)));
  // Control characters draw nothing.
  EXPECT_TRUE(SamePng(TextPng("A\tV\x7F", 20), TextPng("AV", 20)));
}

// Text is read as the printer reads it: each byte that starts no character
// (an overlong form and a surrogate among them) draws U+FFFD.
TEST(Text, EachByteThatStartsNoCharacterDrawsUFFFD) {
  const auto drawn = [](const std::string& text) {
    Layer layer(160, 32);
    Painter painter(layer, {0, 0, 160, 32});
    DrawText(painter, 2, 2, 16, text, Premultiply(255, 255, 255, 255));
    return Picture(layer, false);
  };
  const std::vector<std::pair<std::string, int>> cases = {
      {"\xFF", 1},              // never in UTF-8
      {"\xE4\xB8", 2},          // cut short
      {"\xC0\x80", 2},          // an overlong NUL
      {"\xE0\x80\x80", 3},      // overlong
      {"\xF0\x80\x80\x80", 4},  // overlong
      {"\xED\xA0\x80", 3},      // a surrogate
      {"\xF4\x90\x80\x80", 4},  // past U+10FFFF
  };
  for (const auto& [bytes, count] : cases) {
    std::string replaced;
    for (int i = 0; i < count; ++i) replaced += "\xEF\xBF\xBD";
    EXPECT_TRUE(drawn("a" + bytes + "b") == drawn("a" + replaced + "b")) << testing::PrintToString(bytes);
  }
}

// What `draw` costs on a thread of its own, whose glyph cache starts empty.
Work OnAThreadOfItsOwn(const std::function<void()>& draw) {
  Work work;
  std::thread([&] {
    draw();
    work = WorkOnThisThread();
  }).join();
  return work;
}

// As long as a message's string can be: kerned pairs, a glyph of the second
// font, a byte that draws U+FFFD.
std::string LongestText() {
  std::string text;
  while (text.size() + 11 <= 4095) text += "AV Wa. " + kWorld.substr(0, 3) + "\xFF";
  return text;
}

TEST(Text, NothingOfALongStringOffTheClipIsRasterized) {
  const std::string text = LongestText();
  // Far off every side, and just off the right and the bottom edge, where
  // each glyph is laid out and passed over.
  const std::pair<int32_t, int32_t> places[] = {{INT32_MAX, 0}, {INT32_MIN, 0}, {0, INT32_MAX}, {0, INT32_MIN},
                                                {0, -1400},     {64, 0},       {0, 48}};
  for (const auto& [x, y] : places) {
    Layer layer(64, 48);
    Box touched{0, 0, 1, 1};
    const Work work = OnAThreadOfItsOwn([&] {
      Painter painter(layer, {0, 0, 64, 48});
      DrawText(painter, x, y, 1024, text, Pixel{255, 255, 255, 255});
      touched = painter.touched();
    });
    EXPECT_EQ(work.glyphs, 0) << x << "," << y;
    EXPECT_EQ(layer.UnsharedTiles(), 0u) << x << "," << y;  // shared with none: every tile made
    EXPECT_TRUE(touched.Empty()) << x << "," << y;
  }
  // And through a message.
  const Work work = OnAThreadOfItsOwn([&] {
    Screen s;
    s.Send({msg::Resolution(64, 48), msg::Text(INT32_MAX, 0, text, 1024), msg::Text(0, INT32_MIN, text, 1024)});
  });
  EXPECT_EQ(work.glyphs, 0);
}

TEST(Text, AStringAcrossTheClipIsDrawnAsWhenDrawnWhole) {
  const std::string text = "AVAWAY To " + kWorld + " \xFF" "ffi Wy";
  const Pixel colour = Premultiply(200, 120, 40, 180);
  Layer whole(4096, 400);
  const Work all = OnAThreadOfItsOwn([&] {
    Painter painter(whole, {0, 0, 4096, 400});
    DrawText(painter, 10, 10, 300, text, colour);
  });
  // A clip that cuts glyphs on all four sides.
  const Box clip{700, 120, 1500, 260};
  Layer cut(4096, 400);
  Box touched;
  const Work some = OnAThreadOfItsOwn([&] {
    Painter painter(cut, clip);
    DrawText(painter, 10, 10, 300, text, colour);
    touched = painter.touched();
  });
  EXPECT_GT(some.glyphs, 0);
  EXPECT_LT(some.glyphs, all.glyphs);
  const Box within = touched.Intersect(clip);
  EXPECT_TRUE(within.x0 == touched.x0 && within.y0 == touched.y0 && within.x1 == touched.x1 && within.y1 == touched.y1);
  int64_t differ = 0, drawn = 0;
  for (int32_t y = int32_t(clip.y0); y < clip.y1; ++y) {
    for (int32_t x = int32_t(clip.x0); x < clip.x1; ++x) {
      differ += cut.At(x, y) != whole.At(x, y);
      drawn += cut.At(x, y) != Pixel{};
    }
  }
  EXPECT_EQ(differ, 0);
  EXPECT_GT(drawn, 1000);
  // Nothing outside the clip: only the tiles under it (columns 10-23, rows 1-4) hold pixels
  // (the layer shares none, so its unshared tiles are all it has).
  EXPECT_LE(cut.UnsharedTiles(), size_t(14 * 4));
}

TEST(Text, TheGlyphCacheLetsTheLeastRecentlyUsedGo) {
  // Capitals at 1,024 pixels, far more than the cache holds, with A drawn
  // again after each: A stays, B (used once, long ago) goes.
  Layer layer(1024, 1200);
  const Work work = OnAThreadOfItsOwn([&] {
    // A strip through every capital's box, so each is rasterized.
    Painter painter(layer, {0, 500, 1024, 501});
    for (char c = 'A'; c <= 'Z'; ++c) {
      DrawText(painter, 0, 0, 1024, std::string(1, c), Pixel{255, 255, 255, 255});
      DrawText(painter, 0, 0, 1024, "A", Pixel{255, 255, 255, 255});
    }
    const int64_t letters = WorkOnThisThread().glyphs;
    EXPECT_EQ(letters, 26);
    DrawText(painter, 0, 0, 1024, "A", Pixel{255, 255, 255, 255});
    EXPECT_EQ(WorkOnThisThread().glyphs, letters);
    DrawText(painter, 0, 0, 1024, "B", Pixel{255, 255, 255, 255});
    EXPECT_EQ(WorkOnThisThread().glyphs, letters + 1);
  });
  EXPECT_EQ(work.glyphs, 27);
}

// A colour premultiplied, as a viewer sees it over black: round(c·a/255).
Pixel OverBlack(Pixel straight, int opacity = 255) {
  const auto scale = [](int c, int by) { return uint8_t((c * by + 127) / 255); };
  Pixel p{scale(straight.r, straight.a), scale(straight.g, straight.a), scale(straight.b, straight.a), 255};
  return {scale(p.r, opacity), scale(p.g, opacity), scale(p.b, opacity), 255};
}

struct Picture32 {
  int32_t width = 0, height = 0;
  std::vector<Pixel> pixels;
  Pixel At(int64_t x, int64_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

Picture32 Example(const std::string& path) {
  Picture32 p;
  EXPECT_TRUE(DecodePng(ReadFile(ExamplesFolder() + "/" + path), p.width, p.height, p.pixels)) << path;
  return p;
}

TEST(Images, AtTheirOwnSizeAndScaledByTheNearestPixel) {
  const Picture32 logo = Example("images/logo.png");
  ASSERT_EQ(logo.width, 32);
  ASSERT_EQ(logo.height, 32);
  Screen s;
  s.Send({msg::Resolution(160, 120), msg::Image("images/logo.png", 2, 2)});
  const std::string path = "images/logo.png";
  s.Send({msg::ImageScaled(path, 40, 2, 48, 48, 255), msg::ImageScaled(path, 92, 2, 13, 11, 255),
          msg::ImageScaled(path, 110, 2, 47, 21, 255), msg::ImageScaled(path, 2, 56, 71, 37, 255),
          msg::ImageScaled(path, 80, 56, 32, 32, 128), msg::Image(path, -10, 100),
          msg::ImageScaled("backgrounds/sky.png", 120, 60, 40, 30, 200)});
  EXPECT_TRUE(MatchesGolden("image", s.Png()));
  EXPECT_TRUE(s.Warnings().empty());

  EXPECT_TRUE(s.RegionShows(2, 2, 32, 32, [&](int32_t i, int32_t j) { return OverBlack(logo.At(i, j)); }));
  // Pixel (i, j) of a w × h box shows ((2i + 1)·32 / 2w, (2j + 1)·32 / 2h).
  const auto scaled = [&](int32_t w, int32_t h, int opacity = 255) {
    return [&logo, w, h, opacity](int32_t i, int32_t j) {
      return OverBlack(logo.At((2 * i + 1) * 32 / (2 * w), (2 * j + 1) * 32 / (2 * h)), opacity);
    };
  };
  EXPECT_TRUE(s.RegionShows(40, 2, 48, 48, scaled(48, 48)));
  EXPECT_TRUE(s.RegionShows(92, 2, 13, 11, scaled(13, 11)));
  EXPECT_TRUE(s.RegionShows(110, 2, 47, 21, scaled(47, 21)));
  EXPECT_TRUE(s.RegionShows(2, 56, 71, 37, scaled(71, 37)));
  EXPECT_TRUE(s.RegionShows(80, 56, 32, 32, scaled(32, 32, 128)));
  EXPECT_TRUE(s.RegionShows(0, 100, 22, 20, [&](int32_t i, int32_t j) { return OverBlack(logo.At(i + 10, j)); }));
  const Picture32 sky = Example("backgrounds/sky.png");
  EXPECT_TRUE(s.RegionShows(120, 60, 40, 30, [&](int32_t i, int32_t j) {
    return OverBlack(sky.At((2 * i + 1) * sky.width / 80, (2 * j + 1) * sky.height / 60), 200);
  }));
}

TEST(Images, AMissingImageIsDrawnAsThePlaceholder) {
  Screen s;
  s.Send({msg::Resolution(64, 48), msg::Image("missing.png", 2, 2), msg::ImageScaled("missing.png", 38, 2, 20, 10, 255),
          msg::ImageScaled("missing.png", 38, 16, 9, 7, 128), msg::ImageScaled("", 38, 28, 5, 5, 255)});
  EXPECT_TRUE(MatchesGolden("placeholder", s.Png()));

  // Magenta: opaque on its 1-pixel edge, at opacity 64 inside; 32 × 32 at its own size.
  const auto placeholder = [](int32_t w, int32_t h, int opacity) {
    return [=](int32_t i, int32_t j) {
      const bool edge = i == 0 || j == 0 || i == w - 1 || j == h - 1;
      return OverBlack(edge ? Pixel{255, 0, 255, 255} : Pixel{255, 0, 255, 64}, opacity);
    };
  };
  EXPECT_TRUE(s.RegionShows(2, 2, 32, 32, placeholder(32, 32, 255)));
  EXPECT_EQ(s.OverBlack(3, 3), Opaque(64, 0, 64));
  EXPECT_EQ(s.OverBlack(34, 34), Opaque(0, 0, 0));
  EXPECT_TRUE(s.RegionShows(38, 2, 20, 10, placeholder(20, 10, 255)));
  EXPECT_TRUE(s.RegionShows(38, 16, 9, 7, placeholder(9, 7, 128)));
  EXPECT_EQ(s.OverBlack(38, 16), Opaque(128, 0, 128));
  EXPECT_TRUE(s.RegionShows(38, 28, 5, 5, placeholder(5, 5, 255)));
  const std::vector<std::string> warnings = s.Warnings();
  ASSERT_EQ(warnings.size(), 4u);
  EXPECT_EQ(warnings[0],
            "DrawImage from client 1: cannot draw image \"missing.png\": no such file; drawn as a placeholder");
  EXPECT_EQ(warnings[2],
            "DrawImageScaled from client 1: cannot draw image \"missing.png\": no such file; drawn as a placeholder");
  EXPECT_EQ(warnings[3], "DrawImageScaled from client 1: no image path; drawn as a placeholder");
}

TEST(Images, AMissingBackgroundIsThePlaceholderStretched) {
  Screen s;
  s.Send({msg::Resolution(64, 48), msg::Background("nothing.png", 255), msg::Colour(255, 255, 255),
          msg::Rect(8, 8, 8, 8, true)});
  EXPECT_TRUE(MatchesGolden("placeholder_background", s.Png()));
  EXPECT_TRUE(s.RegionShows(0, 0, 64, 48, [](int32_t i, int32_t j) {
    if (i >= 8 && i < 16 && j >= 8 && j < 16) return Opaque(255, 255, 255);
    const bool edge = i == 0 || j == 0 || i == 63 || j == 47;
    return edge ? Opaque(255, 0, 255) : Opaque(64, 0, 64);
  }));
  ASSERT_EQ(s.Warnings().size(), 1u);
  EXPECT_EQ(s.Warnings()[0],
            "SetBackground from client 1: cannot draw image \"nothing.png\": no such file; drawn as a placeholder");
  s.Send(msg::Background("nothing.png", 128));
  EXPECT_EQ(s.OverBlack(0, 20), Opaque(128, 0, 128));
  EXPECT_EQ(s.OverBlack(20, 20), Opaque(32, 0, 32));
  s.Send(msg::Background("", 255));  // none
  EXPECT_EQ(s.OverBlack(0, 20), Opaque(0, 0, 0));
}

}  // namespace
