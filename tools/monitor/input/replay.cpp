#include "input/replay.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "input/files.h"
#include "input/session.h"
#include "input/stop.h"

namespace {

void SleepUntil(std::chrono::steady_clock::time_point due) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
  if (left.count() > 0) WaitForStop(static_cast<long>(left.count()));
}

}  // namespace

bool Replay(const std::string& path, bool pace, const ReplayHandlers& handlers) {
  std::ifstream in(path, std::ios::binary);
  SessionReader reader(in);
  std::string error = CannotRead(path);
  if (!error.empty()) {
    std::fprintf(stderr, "vesprine-monitor: %s\n", error.c_str());
    return false;
  }
  if (!reader.Start(error)) {
    if (!Stopping()) {
      std::fprintf(stderr, "vesprine-monitor: %s: %s\n", path.c_str(), error.c_str());
      return false;
    }
    error.clear();  // a stop cut the opening short (a FIFO no one writes): said below
  } else {
    handlers.started();
  }
  SessionEntry entry;
  int64_t entries = 0;
  auto due = std::chrono::steady_clock::now();
  int64_t last = 0;
  while (!Stopping() && reader.Next(entry, error)) {
    if (pace) {
      if (entries > 0) due += std::chrono::microseconds(PacedGap(last, entry.time, kLongestPause));
      last = entry.time;
      SleepUntil(due);
    }
    ++entries;
    if (entry.kind != SessionEntry::kMessage) {
      handlers.client(entry.client, entry.kind == SessionEntry::kJoined, entry.time);
    } else if (!handlers.message(entry.client, entry.bytes.data(), entry.bytes.size(), entry.length, entry.time)) {
      break;
    }
  }
  if (!error.empty()) {
    std::fprintf(stderr, "vesprine-monitor: %s: %s; replayed the %lld entries before it\n", path.c_str(),
                 error.c_str(), static_cast<long long>(entries));
    return false;
  }
  if (Stopping()) {
    std::fprintf(stderr, "vesprine-monitor: interrupted after %lld entries of %s\n", static_cast<long long>(entries),
                 path.c_str());
    return false;
  }
  std::fprintf(stderr, "vesprine-monitor: replayed %lld entries of %s\n", static_cast<long long>(entries),
               path.c_str());
  return true;
}
