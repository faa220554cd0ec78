#include "export/compare.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "export/walk.h"
#include "input/exit_status.h"
#include "input/files.h"
#include "input/stop.h"
#include "pixels/png.h"

using nlohmann::json;

namespace {

// A pixel as shown over the view's black backdrop.
Pixel OverBlack(const Layer& frame, int32_t x, int32_t y) {
  if (x >= frame.width() || y >= frame.height()) return Pixel{};
  return Shown(frame.At(x, y), false);
}

bool Differ(Pixel a, Pixel b, int most) {
  return std::abs(a.r - b.r) > most || std::abs(a.g - b.g) > most || std::abs(a.b - b.b) > most ||
         std::abs(a.a - b.a) > most;
}

// How the two screens differ: tile by tile, counted anew only where either
// screen was composed anew since the last count.
class Difference {
 public:
  explicit Difference(int most) : most_(most) {}

  int64_t Count(const Layer& a, const Layer& b) {
    if (a.width() != b.width() || a.height() != b.height()) {
      a_.clear();
      return Whole(a, b);
    }
    if (a_.size() != size_t(a.columns()) * size_t(a.rows())) {
      a_.assign(size_t(a.columns()) * size_t(a.rows()), TileRef());
      b_ = a_;
      counts_.assign(a_.size(), 0);
    }
    int64_t total = 0;
    for (int32_t row = 0; row < a.rows(); ++row) {
      for (int32_t column = 0; column < a.columns(); ++column) {
        const size_t i = size_t(row) * size_t(a.columns()) + size_t(column);
        if (!(a.tile(column, row) == a_[i]) || !(b.tile(column, row) == b_[i])) {
          a_[i] = a.tile(column, row);
          b_[i] = b.tile(column, row);
          counts_[i] = Tile(a, b, column, row);
        }
        total += counts_[i];
      }
    }
    return total;
  }

 private:
  int64_t Tile(const Layer& a, const Layer& b, int32_t column, int32_t row) const {
    // Tiles alike pixel for pixel differ nowhere (pixels past the screen's
    // edge are transparent in both).
    const TileRef &ta = a.tile(column, row), &tb = b.tile(column, row);
    if (ta && tb && std::memcmp(ta.pixels(), tb.pixels(), kTileBytes) == 0) return 0;
    int64_t count = 0;
    for (int32_t y = row * kTileSide; y < std::min(a.height(), (row + 1) * kTileSide); ++y) {
      for (int32_t x = column * kTileSide; x < std::min(a.width(), (column + 1) * kTileSide); ++x) {
        count += Differ(OverBlack(a, x, y), OverBlack(b, x, y), most_) ? 1 : 0;
      }
    }
    return count;
  }

  int64_t Whole(const Layer& a, const Layer& b) const {
    int64_t count = 0;
    for (int32_t y = 0; y < std::max(a.height(), b.height()); ++y) {
      for (int32_t x = 0; x < std::max(a.width(), b.width()); ++x) {
        const bool both = x < a.width() && y < a.height() && x < b.width() && y < b.height();
        count += !both || Differ(OverBlack(a, x, y), OverBlack(b, x, y), most_) ? 1 : 0;
      }
    }
    return count;
  }

  int most_;
  std::vector<TileRef> a_, b_;  // the tiles last counted
  std::vector<int64_t> counts_;
};

// The differing pixels red over a faded grey copy of A's picture; the box
// that holds them.
std::vector<Pixel> DiffPicture(const Layer& a, const Layer& b, int most, int32_t width, int32_t height, Box& box) {
  std::vector<Pixel> out(size_t(width) * size_t(height));
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const bool both = x < a.width() && y < a.height() && x < b.width() && y < b.height();
      const Pixel pa = OverBlack(a, x, y);
      Pixel& out_pixel = out[size_t(y) * size_t(width) + size_t(x)];
      if (!both || Differ(pa, OverBlack(b, x, y), most)) {
        out_pixel = {255, 0, 0, 255};
        box = box.Union({x, y, x + 1, y + 1});
      } else {
        const auto grey = static_cast<uint8_t>((pa.r * 299 + pa.g * 587 + pa.b * 114) / 1000);
        const auto faded = static_cast<uint8_t>(255 - (255 - grey) / 3);
        out_pixel = {faded, faded, faded, 255};
      }
    }
  }
  return out;
}

class Report {
 public:
  explicit Report(bool as_json) : json_(as_json) {}
  void Say(const std::string& text, const json& value) {
    std::puts(json_ ? value.dump(-1, ' ', false, json::error_handler_t::replace).c_str() : text.c_str());
  }

 private:
  bool json_;
};

std::string Line(const Walk& walk) {
  const SessionEntry& e = walk.entry();
  const auto found = walk.scene().clients.find(e.client);
  const Encoding encoding = found == walk.scene().clients.end() ? Encoding::kUtf8 : found->second.encoding;
  return FormatLine(e.client, Decode(e.bytes.data(), e.bytes.size()), e.length, encoding);
}

// Reads the session's first message; false, said, when it cannot be read,
// or holds none and that is not allowed.
bool Open(const CompareOptions& options, Walk& walk, bool& more) {
  if (walk.Start()) more = walk.Next();
  if (!walk.error().empty()) {
    std::fprintf(stderr, "vesprine-monitor: %s\n", walk.error().c_str());
    return false;
  }
  // A recording that caught nothing (the program never reached the
  // monitor) would agree with any other such: refused unless expected.
  if (!options.allowEmpty && !more) {
    std::fprintf(stderr, "vesprine-monitor: %s holds no message, so there is nothing to compare "
                 "(--allow-empty compares it anyway)\n", walk.path().c_str());
    return false;
  }
  return true;
}

// Two sessions walked side by side, and what is said of them.
class Comparison {
 public:
  Comparison(const CompareOptions& options, Walk& a, Walk& b)
      : options_(options), a_(a), b_(b), report_(options.json), difference_(options.maxDifference) {}

  // Says, the first time, where the messages differ: one session ended
  // before the other, or the two messages are not the same.
  void Messages(bool a_more, bool b_more) {
    if (!messages_differ_ && a_more != b_more) {
      messages_differ_ = true;
      const Walk& longer = a_more ? a_ : b_;
      report_.Say(std::string(a_more ? "B" : "A") + " ends after message " + std::to_string(longer.messages()) +
                      "; " + (a_more ? "A" : "B") + " goes on with message " + std::to_string(longer.messages() + 1) +
                      ": " + Line(longer),
                  {{"messages", "ends"}, {"ended", a_more ? "B" : "A"}, {"after", longer.messages()}});
    } else if (!messages_differ_ && a_more && b_more &&
               (a_.entry().bytes != b_.entry().bytes || a_.entry().length != b_.entry().length)) {
      messages_differ_ = true;
      const int64_t message = a_.messages() + 1;
      report_.Say("messages differ at message " + std::to_string(message) + "\n  A: " + Line(a_) + "\n  B: " + Line(b_),
                  {{"messages", "differ"}, {"message", message}, {"a", Line(a_)}, {"b", Line(b_)}});
    }
  }

  // Whether the screens now differ in more pixels than allowed: said, and
  // the differences drawn when asked.
  bool ScreensDiffer() {
    const Layer& fa = a_.Frame();
    const Layer& fb = b_.Frame();
    if (Stopping()) return false;  // composed in part, perhaps: the caller says it was interrupted
    const int64_t count = difference_.Count(fa, fb);
    if (count <= options_.totalPixels) return false;
    const int32_t width = std::max(fa.width(), fb.width()), height = std::max(fa.height(), fb.height());
    Box box;
    const std::vector<Pixel> picture = DiffPicture(fa, fb, options_.maxDifference, width, height, box);
    const int64_t after = std::max(a_.messages(), b_.messages());
    // Said with the last column and row included.
    const int64_t last_x = box.x1 - 1, last_y = box.y1 - 1;
    json value = {{"screens", "differ"}, {"after", after}, {"pixels", count}, {"allowed", options_.totalPixels},
                  {"box", {{"x0", box.x0}, {"y0", box.y0}, {"x1", last_x}, {"y1", last_y}}}};
    std::string text = "screens differ after message " + std::to_string(after) + ": " + std::to_string(count) +
                       " pixels (" + std::to_string(options_.totalPixels) + " may), x " + std::to_string(box.x0) +
                       " to " + std::to_string(last_x) + ", y " + std::to_string(box.y0) + " to " +
                       std::to_string(last_y);
    if (!options_.diff.empty()) {
      const std::string error = WriteWholeFile(options_.diff, EncodePng(width, height, picture));
      if (error.empty()) {
        value["diff"] = options_.diff;
        text += "; the differences drawn in " + options_.diff;
      } else {
        std::fprintf(stderr, "vesprine-monitor: %s\n", error.c_str());
        diff_unwritten_ = true;
      }
    }
    report_.Say(text, value);
    return true;
  }

  // The status once the screens differ.
  int Differ() {
    SayPlaceholders();
    return diff_unwritten_ ? kExitError : kExitDiffer;
  }

  // The status once the sessions agree to their end, said.
  int Agree() {
    if (!messages_differ_) {
      report_.Say("the same " + std::to_string(a_.messages()) + " messages",
                  {{"messages", "same"}, {"count", a_.messages()}});
    }
    SayPlaceholders();
    report_.Say("screens agree within the tolerance", {{"screens", "agree"}});
    return kExitDone;
  }

 private:
  // Two sessions that both miss an image agree there: said, so that an
  // agreement is not taken for more than it is.
  void SayPlaceholders() {
    const int64_t in_a = a_.scene().placeholders, in_b = b_.scene().placeholders;
    if (in_a == 0 && in_b == 0) return;
    const std::string images = in_a == 1 ? " image as a placeholder" : " images as placeholders";
    report_.Say("A drew " + std::to_string(in_a) + images + ", B " + std::to_string(in_b) +
                    ": their files could not be read, so the screens compare placeholders there, not the images",
                {{"placeholders", {{"a", in_a}, {"b", in_b}}}});
  }

  const CompareOptions& options_;
  Walk& a_;
  Walk& b_;
  Report report_;
  Difference difference_;
  bool messages_differ_ = false;
  bool diff_unwritten_ = false;
};

}  // namespace

int Compare(const CompareOptions& options) {
  if (const std::string missing = MissingFolder(options.diff); !missing.empty()) {
    std::fprintf(stderr, "vesprine-monitor: %s\n", missing.c_str());
    return kExitError;
  }
  // Each session is read once, its first message here (a pipe cannot be read twice).
  Walk a(options.a, options.images), b(options.b, options.images);
  bool a_more = false, b_more = false;
  if (!Open(options, a, a_more) || !Open(options, b, b_more)) return kExitError;
  Comparison comparison(options, a, b);
  const bool every = !options.at && !options.final;
  const int64_t until = options.at.value_or(INT64_MAX);
  for (bool first = true; (a_more || b_more) && std::max(a.messages(), b.messages()) < until; first = false) {
    if (!first) {
      a_more = a_more && a.Next();
      b_more = b_more && b.Next();
    }
    if (!a.error().empty() || !b.error().empty()) {
      std::fprintf(stderr, "vesprine-monitor: %s\n", (a.error().empty() ? b : a).error().c_str());
      return kExitError;
    }
    comparison.Messages(a_more, b_more);
    if (a_more) a.Apply();
    if (b_more && !Stopping()) b.Apply();
    if (Stopping()) continue;  // the next step says where it was interrupted
    if (every && (a_more || b_more) && comparison.ScreensDiffer()) return comparison.Differ();
  }
  if (options.at && std::max(a.messages(), b.messages()) < *options.at) {
    std::fprintf(stderr, "vesprine-monitor: --at %lld is past the end: the sessions have %lld and %lld messages; "
                 "comparing after the last\n", (long long)*options.at, (long long)a.messages(),
                 (long long)b.messages());
  }
  const bool differ = !every && comparison.ScreensDiffer();
  // What was drawn or composed when the stop came is made in part: nothing to compare.
  if (a.Interrupted() || b.Interrupted()) {
    std::fprintf(stderr, "vesprine-monitor: %s\n", (a.error().empty() ? b : a).error().c_str());
    return kExitError;
  }
  return differ ? comparison.Differ() : comparison.Agree();
}
