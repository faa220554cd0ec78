// How fast the monitor writes a clip and compares sessions, each session in
// rounds that alternate the two:
//   vesprine-monitor --replay S --export OUT/clip.png --from 0: frames written
//     a second (and messages a second), process start included;
//   vesprine-monitor --compare S S: messages a second, both sessions rendered
//     and their screens compared after every message.
//   export_rate MONITOR IMAGES_DIR OUT_DIR SESSION... [--rounds R]
#include <string>
#include <vector>

#include "monitor_client.h"

namespace {

using bench::Clock;
using bench::Fail;
using bench::Seconds;

// The number after `key` in `text`, or -1.
long long After(const std::string& text, const std::string& key) {
  const size_t at = text.find(key);
  return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + key.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) Fail("usage: export_rate MONITOR IMAGES_DIR OUT_DIR SESSION... [--rounds R]");
  const std::string monitor = argv[1], images = argv[2], out = argv[3];
  std::vector<std::string> sessions;
  int rounds = 3;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else {
      sessions.push_back(argv[i]);
    }
  }
  const std::string clip = out + "/clip.png", lines = out + "/export_rate.out", said = out + "/export_rate.said";
  for (const std::string& session : sessions) {
    std::vector<double> frame_rates, export_messages, compare_rates;
    long long frames = 0, messages = 0;
    const auto exporting = [&] {
      const auto start = Clock::now();
      bench::Monitor run({monitor, "--replay", session, "--export", clip, "--from", "0", "--images", images}, lines,
                         said);
      if (run.Wait(3600) != 0) Fail("--export failed: " + run.Said());
      const double seconds = Seconds(Clock::now() - start);
      frames = After(run.Said(), "wrote ");
      if (frames <= 0) Fail("--export wrote no frames: " + run.Said());
      frame_rates.push_back(double(frames) / seconds);
      return seconds;
    };
    const auto comparing = [&] {
      const auto start = Clock::now();
      bench::Monitor run({monitor, "--compare", session, session, "--images", images}, lines, said);
      if (run.Wait(3600) != 0) Fail("--compare found a difference or failed: " + run.Said());
      const double seconds = Seconds(Clock::now() - start);
      messages = After(bench::ReadFile(lines), "the same ");
      if (messages <= 0) Fail("--compare said no count: " + bench::ReadFile(lines));
      compare_rates.push_back(double(messages) / seconds);
    };
    for (int r = 0; r < rounds; ++r) {
      if (r % 2 == 0) {
        const double seconds = exporting();
        comparing();
        export_messages.push_back(double(messages) / seconds);
      } else {
        comparing();
        export_messages.push_back(double(messages) / exporting());
      }
    }
    std::printf("%s: %lld messages, a clip of %lld frames (%.1f MiB)\n", session.c_str(), messages, frames,
                double(bench::ReadFile(clip).size()) / 1048576.0);
    std::printf("  --export clip.png --from 0: %s frames/s, %s messages/s\n", bench::Spread(frame_rates, 0).c_str(),
                bench::Spread(export_messages, 0).c_str());
    std::printf("  --compare S S:              %s messages/s\n", bench::Spread(compare_rates, 0).c_str());
    std::fflush(stdout);
  }
  std::remove(clip.c_str());
  std::remove(lines.c_str());
  std::remove(said.c_str());
  return 0;
}
