// Replaying a session file: its entries fed to the monitor as the pipe would
// have fed them, at the recorded pace when asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// At the recorded pace, a pause longer than this is cut to it: in a replay
// and in a clip alike.
constexpr int64_t kLongestPause = 10'000'000;  // microseconds

// The pause from `before` to `time`, cut to `longest`; none when time goes
// back. Unsigned, so that no pair of times in a corrupt file can overflow.
constexpr int64_t PacedGap(int64_t before, int64_t time, int64_t longest) {
  if (time <= before) return 0;
  const uint64_t gap = static_cast<uint64_t>(time) - static_cast<uint64_t>(before);
  return static_cast<int64_t>(gap < static_cast<uint64_t>(longest) ? gap : static_cast<uint64_t>(longest));
}

// What a replay calls, as the server's handlers; `time` is when the entry
// arrived, in microseconds since the epoch.
struct ReplayHandlers {
  // Once per message; returns false to stop replaying.
  std::function<bool(int64_t client, const uint8_t* bytes, size_t stored, size_t length, int64_t time)> message;
  // When a client connected (joined) and when it had gone.
  std::function<void(int64_t client, bool joined, int64_t time)> client;
  // Once the file reads as a session, before its first entry.
  std::function<void()> started;
};

// Feeds the entries of the session file `path` to `handlers`, when `pace`
// at the recorded pace (a pause longer than 10 s is cut to 10 s), and says
// how many it replayed. Returns false, having said why and where, when the
// file cannot be read to its end or the user interrupts.
bool Replay(const std::string& path, bool pace, const ReplayHandlers& handlers);
