#include "pixels/png.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>

#include <zlib.h>

namespace {

uint32_t Crc(const uint8_t* bytes, size_t size, uint32_t crc = 0xFFFFFFFFu) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

// PNG's integers are big-endian.
void PutBigEndian32(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void Chunk(std::string& out, const char type[4], const std::string& data) {
  PutBigEndian32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.append(type, 4);
  out += data;
  PutBigEndian32(out, Crc(reinterpret_cast<const uint8_t*>(out.data() + start), out.size() - start) ^ 0xFFFFFFFFu);
}

// a when it is nearest a + b - c, else b when nearer than c, else c:
// written without branches.
uint8_t Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  const int b_or_c = pb <= pc ? b : c;
  return static_cast<uint8_t>(pa <= std::min(pb, pc) ? a : b_or_c);
}

// What a filtered byte costs the choice of filter: its distance from zero
// as a signed byte.
inline uint32_t Cost(uint8_t value) { return static_cast<uint32_t>(std::abs(static_cast<int8_t>(value))); }

// Each row behind its filter type, the filter chosen per row; rows are
// `stride` bytes apart in `rgba`. Each filter is computed in a loop of its
// own (the first row's "up" is a row of zeros): the same bytes as choosing
// per byte, several times faster. Empty when `stop` (if given) says so.
std::vector<uint8_t> Filtered(int32_t width, int32_t height, const uint8_t* rgba, size_t rgba_stride,
                              bool (*stop)() = nullptr) {
  const size_t stride = size_t(width) * 4;
  std::vector<uint8_t> out;
  out.reserve((stride + 1) * size_t(height));
  std::vector<uint8_t> sub(stride), up_filtered(stride), paeth(stride);
  const std::vector<uint8_t> zeros(stride);
  for (int32_t y = 0; y < height; ++y) {
    if (stop != nullptr && y % 64 == 0 && stop()) return {};
    const uint8_t* row = rgba + size_t(y) * rgba_stride;
    const uint8_t* up = y > 0 ? row - rgba_stride : zeros.data();
    uint32_t none_cost = 0, sub_cost = 0, up_cost = 0, paeth_cost = 0;
    for (size_t i = 0; i < stride; ++i) none_cost += Cost(row[i]);
    for (size_t i = 0; i < stride; ++i) {
      sub[i] = static_cast<uint8_t>(row[i] - (i >= 4 ? row[i - 4] : 0));
      sub_cost += Cost(sub[i]);
    }
    for (size_t i = 0; i < stride; ++i) {
      up_filtered[i] = static_cast<uint8_t>(row[i] - up[i]);
      up_cost += Cost(up_filtered[i]);
    }
    for (size_t i = 0; i < stride; ++i) {
      paeth[i] = static_cast<uint8_t>(row[i] - (i >= 4 ? Paeth(row[i - 4], up[i], up[i - 4]) : up[i]));
      paeth_cost += Cost(paeth[i]);
    }
    // The first of the cheapest, in the order None, Sub, Up, Paeth.
    const uint8_t* chosen = row;
    uint8_t type = 0;
    uint32_t best = none_cost;
    if (sub_cost < best) chosen = sub.data(), type = 1, best = sub_cost;
    if (up_cost < best) chosen = up_filtered.data(), type = 2, best = up_cost;
    if (paeth_cost < best) chosen = paeth.data(), type = 4;
    out.push_back(type);
    out.insert(out.end(), chosen, chosen + stride);
  }
  return out;
}

// The signature and the header of an RGBA picture of 8 bits a channel.
std::string Signature(int32_t width, int32_t height) {
  std::string out("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBigEndian32(header, static_cast<uint32_t>(width));
  PutBigEndian32(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, adaptive filters, not interlaced
  Chunk(out, "IHDR", header);
  return out;
}

// The animation's control chunk: `frames` frames, played in a loop.
std::string AnimationControl(uint32_t frames) {
  std::string data;
  PutBigEndian32(data, frames);
  PutBigEndian32(data, 0);
  std::string out;
  Chunk(out, "acTL", data);
  return out;
}

// A w × h block of pixels, rows `stride` pixels apart, filtered and deflated
// by zlib with run-length matches only (Z_RLE): on a noisy 640 × 480 picture
// and on the demo's, a little smaller than level 1 makes it, and on the noisy
// one in well under half the time. The same zlib version and settings give
// the same bytes on every target. Empty when `stop` (if given) says so.
std::string Deflated(int32_t w, int32_t h, const Pixel* pixels, size_t stride, bool (*stop)() = nullptr) {
  std::vector<uint8_t> filtered =
      Filtered(w, h, reinterpret_cast<const uint8_t*>(pixels), stride * sizeof(Pixel), stop);
  if (filtered.empty()) return "";
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK) throw std::bad_alloc();
  std::string out(deflateBound(&stream, static_cast<uLong>(filtered.size())), '\0');
  stream.next_in = filtered.data();
  stream.avail_in = static_cast<uInt>(filtered.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  // deflateBound leaves room for all of it in one call.
  const int result = deflate(&stream, Z_FINISH);
  assert(result == Z_STREAM_END);
  (void)result;
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace

std::vector<Pixel> Picture(const Layer& frame, bool overlay, bool (*stop)()) {
  const int32_t width = frame.width();
  std::vector<Pixel> pixels;
  pixels.reserve(size_t(width) * size_t(frame.height()));
  // Row by row, a tile's width at a time; the memory of each row first
  // touched as it is made, so that a stop is heard however large it is.
  for (int32_t y = 0; y < frame.height(); ++y) {
    if (stop != nullptr && y % kTileSide == 0 && stop()) return {};
    pixels.resize(pixels.size() + size_t(width));
    Pixel* out = pixels.data() + size_t(y) * size_t(width);
    for (int32_t column = 0; column < frame.columns(); ++column) {
      const TileRef& tile = frame.tile(column, y / kTileSide);
      const Pixel* from = tile ? tile.pixels() + (y % kTileSide) * kTileSide : nullptr;
      const int32_t x0 = column * kTileSide, n = std::min(kTileSide, width - x0);
      for (int32_t i = 0; i < n; ++i) {
        out[x0 + i] = Shown(from != nullptr ? from[i] : Pixel{}, overlay);
      }
    }
  }
  return pixels;
}

std::string EncodePng(int32_t width, int32_t height, const std::vector<Pixel>& pixels) {
  assert(width > 0 && height > 0 && pixels.size() == size_t(width) * size_t(height));
  std::string out = Signature(width, height);
  Chunk(out, "IDAT", Deflated(width, height, pixels.data(), size_t(width)));
  Chunk(out, "IEND", "");
  return out;
}

ApngWriter::ApngWriter(std::FILE* file, int32_t width, int32_t height) : file_(file), width_(width), height_(height) {
  assert(file != nullptr && width > 0 && height > 0);
  Write(Signature(width, height));
  Write(AnimationControl(0));
}

void ApngWriter::Write(const std::string& bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed_ = true;
}

bool ApngWriter::Add(const std::vector<Pixel>& picture, uint32_t milliseconds, bool (*stop)()) {
  assert(picture.size() == size_t(width_) * size_t(height_));
  if (frames_ == 0) {
    if (!Frame(0, 0, width_, height_, milliseconds, picture, stop)) return false;
  } else {
    // The box of pixels that changed; an unchanged picture still takes its
    // time, as one pixel of itself.
    int32_t x0 = width_, y0 = height_, x1 = 0, y1 = 0;
    for (int32_t y = 0; y < height_; ++y) {
      if (stop != nullptr && y % 64 == 0 && stop()) return false;
      for (int32_t x = 0; x < width_; ++x) {
        const size_t i = size_t(y) * size_t(width_) + size_t(x);
        if (picture[i] == last_[i]) continue;
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x + 1), y1 = std::max(y1, y + 1);
      }
    }
    if (x1 == 0) x0 = y0 = 0, x1 = y1 = 1;
    if (!Frame(x0, y0, x1 - x0, y1 - y0, milliseconds, picture, stop)) return false;
  }
  last_ = picture;
  return true;
}

bool ApngWriter::Frame(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t milliseconds,
                       const std::vector<Pixel>& picture, bool (*stop)()) {
  const std::string data =
      Deflated(w, h, picture.data() + size_t(y) * size_t(width_) + size_t(x), size_t(width_), stop);
  if (data.empty()) return false;
  // Frame control: sequence, size, offset, delay (milliseconds / 1000),
  // dispose NONE, blend SOURCE.
  std::string control;
  PutBigEndian32(control, sequence_++);
  PutBigEndian32(control, uint32_t(w));
  PutBigEndian32(control, uint32_t(h));
  PutBigEndian32(control, uint32_t(x));
  PutBigEndian32(control, uint32_t(y));
  const uint32_t delay = std::min<uint32_t>(milliseconds, 65535);
  control += static_cast<char>(delay >> 8);
  control += static_cast<char>(delay & 0xFF);
  control += std::string("\x03\xE8\x00\x00", 4);
  std::string out;
  Chunk(out, "fcTL", control);
  if (frames_ == 0) {
    Chunk(out, "IDAT", data);
  } else {
    std::string sequenced;
    PutBigEndian32(sequenced, sequence_++);
    Chunk(out, "fdAT", sequenced + data);
  }
  Write(out);
  ++frames_;
  return true;
}

bool ApngWriter::Finish() {
  std::string end;
  Chunk(end, "IEND", "");
  Write(end);
  // The frame count, in place of the zero written first (right after IHDR).
  if (std::fseek(file_, 33, SEEK_SET) != 0) failed_ = true;
  Write(AnimationControl(frames_));
  if (std::fflush(file_) != 0) failed_ = true;
  return !failed_;
}
