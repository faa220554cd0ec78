// Image files decoded for the display host: the decoder's memory held to
// what the image's size needs, so a small PNG that inflates to gigabytes is
// refused early, and one decoding per file whatever name leads to it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "render/images.h"
#include "render_support.h"
#include "temp_folder.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {

std::string Be32(uint32_t value) {
  return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

std::string Chunk(const std::string& type, const std::string& data) {
  uint32_t crc = 0xFFFFFFFF;
  for (const char c : type + data) {
    crc ^= uint8_t(c);
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
  }
  return Be32(uint32_t(data.size())) + type + data + Be32(~crc);
}

// An RGBA PNG of `depth` bits a channel around the zlib stream `idat`.
std::string Png(uint32_t width, uint32_t height, int depth, bool interlaced, const std::string& idat) {
  const std::string header = Be32(width) + Be32(height) + char(depth) + '\6' + '\0' + '\0' + char(interlaced);
  return "\x89PNG\r\n\x1a\n" + Chunk("IHDR", header) + Chunk("IDAT", idat) + Chunk("IEND", "");
}

// Bits of a deflate stream, first bit lowest.
struct Bits {
  std::string out;
  uint32_t pending = 0;
  int count = 0;
  void Put(uint32_t value, int bits) {
    pending |= value << count;
    for (count += bits; count >= 8; count -= 8, pending >>= 8) out += char(pending);
  }
  void Code(uint32_t code, int bits) {  // a Huffman code goes highest bit first
    while (bits-- > 0) Put(code >> bits & 1, 1);
  }
};

// A zlib stream of `size` bytes of zeros: one block of the fixed codes, a
// literal, copies of 258 bytes (code 285, distance 1), then literals.
std::string Zeros(size_t size) {
  Bits bits;
  bits.out = "\x78\x01";
  bits.Put(1, 1);  // the last block
  bits.Put(1, 2);  // fixed codes
  bits.Code(0x30, 8);
  const size_t copies = (size - 1) / 258;
  for (size_t i = 0; i < copies; ++i) bits.Code(0xC5 << 5, 13);
  for (size_t i = 0; i < (size - 1) % 258; ++i) bits.Code(0x30, 8);
  bits.Code(0, 7);  // end of block
  bits.Put(0, 7);
  return bits.out + Be32(uint32_t(size % 65521) << 16 | 1);
}

// A 1x1 image whose data inflates to `size` bytes of zeros.
std::string Bomb(size_t size) { return Png(1, 1, 8, false, Zeros(size)); }

// An interlaced 16-bit RGBA PNG, the costliest form to decode, in stored
// blocks: pixel (x, y) is (x·1000, y·1000, 0, 0xffff).
std::string Interlaced16(uint32_t width, uint32_t height) {
  const uint32_t passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  std::string raw;
  for (const auto& [x0, y0, dx, dy] : passes) {
    for (uint32_t y = y0; y < height && x0 < width; y += dy) {
      raw += '\0';
      for (uint32_t x = x0; x < width; x += dx) raw += Be32(x * 1000 << 16 | y * 1000).append("\0\0\xff\xff", 4);
    }
  }
  std::string zlib = "\x78\x01";
  for (size_t at = 0; at < raw.size(); at += 65535) {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    zlib += char(at + n == raw.size());
    zlib += {char(n), char(n >> 8), char(~n), char(~n >> 8)};
    zlib += raw.substr(at, n);
  }
  uint32_t a = 1, b = 0;
  for (const char c : raw) a = (a + uint8_t(c)) % 65521, b = (b + a) % 65521;
  return Png(width, height, 16, true, zlib + Be32(b << 16 | a));
}

std::string Jpeg(int width, int height) {
  std::string out;
  const std::vector<uint8_t> grey(size_t(width) * size_t(height), 128);
  const auto append = [](void* to, void* data, int size) {
    static_cast<std::string*>(to)->append(static_cast<char*>(data), size_t(size));
  };
  stbi_write_jpg_to_func(append, &out, width, height, 1, grey.data(), 50);
  return out;
}

TEST(ImageDecoding, TheDecodersMemoryIsHeldToWhatTheImageSizeNeeds) {
  std::string error;
  const std::string bomb = Bomb(size_t{64} << 20);
  EXPECT_EQ(DecodeImage(bomb, error), nullptr);
  const DecodeMemory used = LastDecodeMemory();
  EXPECT_EQ(error, "its pixel data inflates past what a 1x1 image needs (over " + std::to_string(used.budget >> 20) +
                       " MiB)");
  EXPECT_LT(used.budget, size_t{4} << 20) << "1x1, " << bomb.size() << " bytes";
  EXPECT_LE(used.peak, used.budget);

  // Real images of the costliest forms decode within theirs.
  const auto image = DecodeImage(Interlaced16(301, 203), error);
  ASSERT_NE(image, nullptr) << error;
  EXPECT_LE(LastDecodeMemory().peak, LastDecodeMemory().budget);
  for (const auto& [x, y] : {std::pair{0, 0}, {300, 0}, {17, 202}, {300, 202}}) {
    EXPECT_EQ(image->pixels[size_t(y * 301 + x)], (Pixel{uint8_t(x * 1000 >> 8), uint8_t(y * 1000 >> 8), 0, 255}));
  }
  for (const auto& [width, height] : {std::pair{1, 3000}, {3000, 1}, {640, 480}}) {
    EXPECT_NE(DecodeImage(Jpeg(width, height), error), nullptr) << width << "x" << height << ": " << error;
  }
}

TEST(ImageDecoding, AFileIsDecodedOnceWhateverItsName) {
  const TempFolder folder;
  const std::string path = folder.Write("a.png", ReadFile(ExamplesFolder() + "/images/logo.png"));
  ImageFiles images(folder.path());
  const ImageFound first = images.Find("a.png", 1);
  ASSERT_NE(first.image, nullptr) << first.error;
  for (const std::string& name : {std::string("./a.png"), std::string(".//a.png"), path}) {
    EXPECT_EQ(images.Find(name, 2).image, first.image) << name;
  }
}

TEST(ImageDecoding, AFileOverTheBoundOfDecodedImagesIsDecodedOnceWhateverItsName) {
  // 8192x8192 transparent pixels: rows of a filter byte and zeros, all zeros.
  const size_t side = 8192, rows = side * (side * 4 + 1);
  const TempFolder folder;
  folder.Write("big.png", Png(side, side, 8, false, Zeros(rows)));
  ImageFiles images(folder.path());
  const ImageFound refused = images.Find("big.png", 1);
  ASSERT_EQ(refused.image, nullptr);
  EXPECT_EQ(refused.error, "over the limit of 256 MiB of decoded images");
  // A small decoding in between: the budget of the last one on this thread
  // then says whether the big one was decoded again.
  std::string error;
  ASSERT_NE(DecodeImage(ReadFile(ExamplesFolder() + "/images/logo.png"), error), nullptr) << error;
  const size_t small = LastDecodeMemory().budget;
  for (const auto& [name, message] : {std::pair{"./big.png", int64_t{2}}, {"big.png", 2 + kImageRetry}}) {
    EXPECT_EQ(images.Find(name, message).error, refused.error) << name;
    EXPECT_EQ(LastDecodeMemory().budget, small) << name << " was decoded again";
  }
}

}  // namespace
