// vesprine-monitor: serves the display host's pipe name and shows, message by
// message, what host applications send through the library.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <string>

#include "export/compare.h"
#include "export/export.h"
#include "input/decode.h"
#include "input/server.h"
#include "input/session.h"
#include "input/stop.h"
#include "scene/scene.h"
#include "http/view.h"

namespace {

constexpr char kUsage[] =
    "usage: vesprine-monitor [--json] [--count N] [--hex] [--view [--listen ADDR:PORT] [--images DIR]]\n"
    "                        [--record FILE] [--replay FILE [--pace]]\n"
    "       vesprine-monitor --replay FILE --export OUT.png [--at N | --from A --to B [--fps F] [--pace]]\n"
    "                        [--overlay] [--images DIR]\n"
    "       vesprine-monitor --compare A B [--diff OUT.png] [--max-difference D] [--total-pixels P]\n"
    "                        [--at N | --final] [--json] [--images DIR]\n"
    "Serves the pipe VesprinePipe as a display host would and prints one line per\n"
    "message received: the client number, the command and the fields it sets.\n"
    "  --json     one JSON object per line instead\n"
    "  --count N  exit after N messages (malformed ones included)\n"
    "  --hex      also print each message's bytes (in JSON, as \"hex\")\n"
    "  --view     also draw what the messages say and serve it as a live web page\n"
    "  --listen ADDR:PORT  where the page is served (default 127.0.0.1:8765; port 0: any)\n"
    "  --images DIR        the folder that relative image paths are read from (default .)\n"
    "  --record FILE  also write every message, with its client and time, to a session file\n"
    "  --replay FILE  read the messages from a session file instead of the pipe\n"
    "  --pace     replay at the pace the session was recorded (default: as fast as possible)\n"
    "  --export OUT  write the screen right after message N (--at N, default the last) as a PNG, or a\n"
    "             clip of messages A to B (--from, --to, default all; --fps, default 30) as an animated\n"
    "             PNG, or as .gif, .mp4 or .webm through ffmpeg; --overlay: transparent where nothing is\n"
    "             drawn; --pace: keep the recorded pauses (up to 10 s) instead of one frame each\n"
    "  --compare A B  compare two sessions: the first message that differs, and the first screen that\n"
    "             differs by more than D in a channel (--max-difference, default 0) in more than P pixels\n"
    "             (--total-pixels, default 0), after every message, or only after N (--at) or the last\n"
    "             (--final); --diff OUT.png draws where; exit status 0 alike, 1 different, 2 error\n"
    "  --help     this text\n"
    "A summary goes to standard error on exit (after --count, Ctrl-C or SIGTERM).\n";

struct Options {
  bool json = false;
  bool hex = false;
  int64_t count = 0;  // 0: no limit
  bool view = false;
  std::string address = "127.0.0.1";
  long port = 8765;
  std::string images = ".";
  std::string record;
  std::string replay;
  bool pace = false;
  ExportOptions exporting;
  bool exports = false;
  CompareOptions comparing;
  bool compares = false;
};

// A whole number of at least `least`, or false.
bool Number(const char* text, int64_t least, int64_t& value) {
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || end == text || parsed < least) return false;
  value = parsed;
  return true;
}

struct Tally {
  std::map<std::string, int64_t> per_command;
  int64_t messages = 0;
  int64_t malformed = 0;
  uint64_t bytes = 0;
  std::map<int64_t, Encoding> encodings;  // per client connected, UTF-8 until it says otherwise
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      options.json = true;
    } else if (arg == "--hex") {
      options.hex = true;
    } else if (arg == "--view") {
      options.view = true;
    } else if (arg == "--images" && i + 1 < argc) {
      options.images = argv[++i];
    } else if (arg == "--record" && i + 1 < argc) {
      options.record = argv[++i];
    } else if (arg == "--replay" && i + 1 < argc) {
      options.replay = argv[++i];
    } else if (arg == "--pace") {
      options.pace = true;
    } else if (arg == "--listen" && i + 1 < argc) {
      const std::string listen = argv[++i];
      const size_t colon = listen.rfind(':');
      if (colon == std::string::npos || colon == 0) return false;
      options.address = listen.substr(0, colon);
      if (options.address.front() == '[' && options.address.back() == ']') {
        options.address = options.address.substr(1, options.address.size() - 2);
      }
      char* end = nullptr;
      options.port = std::strtol(listen.c_str() + colon + 1, &end, 10);
      if (*end != '\0' || end == listen.c_str() + colon + 1 || options.port < 0 || options.port > 65535) return false;
    } else if (arg == "--count" && i + 1 < argc) {
      if (!Number(argv[++i], 1, options.count)) return false;
    } else if (arg == "--export" && i + 1 < argc) {
      options.exporting.output = argv[++i];
      options.exports = true;
    } else if ((arg == "--at" || arg == "--from" || arg == "--to") && i + 1 < argc) {
      int64_t n = 0;
      if (!Number(argv[++i], 0, n)) return false;
      (arg == "--at" ? options.exporting.at : arg == "--from" ? options.exporting.from : options.exporting.to) = n;
    } else if (arg == "--fps" && i + 1 < argc) {
      int64_t fps = 0;
      if (!Number(argv[++i], 1, fps) || fps > 1000) return false;
      options.exporting.fps = static_cast<int>(fps);
    } else if (arg == "--overlay") {
      options.exporting.overlay = true;
    } else if (arg == "--compare" && i + 2 < argc) {
      options.comparing.a = argv[++i];
      options.comparing.b = argv[++i];
      options.compares = true;
    } else if (arg == "--diff" && i + 1 < argc) {
      options.comparing.diff = argv[++i];
    } else if (arg == "--max-difference" && i + 1 < argc) {
      int64_t most = 0;
      if (!Number(argv[++i], 0, most) || most > 255) return false;
      options.comparing.maxDifference = static_cast<int>(most);
    } else if (arg == "--total-pixels" && i + 1 < argc) {
      if (!Number(argv[++i], 0, options.comparing.totalPixels)) return false;
    } else if (arg == "--final") {
      options.comparing.final = true;
    } else {
      return false;
    }
  }
  options.exporting.images = options.comparing.images = options.images;
  options.exporting.pace = options.pace;
  options.comparing.at = options.exporting.at;
  options.comparing.json = options.json;
  if (options.compares) return !options.exports && options.replay.empty() && !options.view && !(options.comparing.at && options.comparing.final);
  if (options.exports) return !options.replay.empty() && !options.view && !(options.exporting.at && (options.exporting.from || options.exporting.to));
  return options.pace ? !options.replay.empty() : true;
}

void PrintSummary(const Tally& tally) {
  std::fprintf(stderr, "vesprine-monitor: %lld messages, %lld malformed, %llu bytes\n",
               static_cast<long long>(tally.messages), static_cast<long long>(tally.malformed),
               static_cast<unsigned long long>(tally.bytes));
  for (const auto& [command, count] : tally.per_command) {
    std::fprintf(stderr, "  %-22s %lld\n", command.c_str(), static_cast<long long>(count));
  }
}

int64_t MicrosecondsNow() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
}

void SleepUntil(std::chrono::steady_clock::time_point due) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
  if (left.count() > 0) WaitForStop(static_cast<long>(left.count()));
}

// Feeds the entries of a session file to `take` and `client_event` as the
// pipe would have, at the recorded pace when asked (a pause longer than 10 s
// is cut to 10 s). Returns false, having said why and where, when the file
// cannot be read to its end.
template <class Take, class ClientEvent>
bool Replay(const Options& options, const Take& take, const ClientEvent& client_event) {
  constexpr uint64_t kLongestPause = 10'000'000;  // microseconds
  const char* path = options.replay.c_str();
  std::ifstream in(options.replay, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "vesprine-monitor: cannot read %s\n", path);
    return false;
  }
  SessionReader reader(in);
  std::string error;
  if (!reader.Start(error)) {
    std::fprintf(stderr, "vesprine-monitor: %s: %s\n", path, error.c_str());
    return false;
  }
  SessionEntry entry;
  int64_t entries = 0;
  auto due = std::chrono::steady_clock::now();
  int64_t last = 0;
  while (!Stopping() && reader.Next(entry, error)) {
    if (options.pace) {
      // Unsigned, so that no pair of times in a corrupt file can overflow.
      const uint64_t gap = entry.time > last ? static_cast<uint64_t>(entry.time) - static_cast<uint64_t>(last) : 0;
      if (entries > 0) due += std::chrono::microseconds(std::min<uint64_t>(gap, kLongestPause));
      last = entry.time;
      SleepUntil(due);
    }
    ++entries;
    if (entry.kind != SessionEntry::kMessage) {
      client_event(entry.client, entry.kind == SessionEntry::kJoined, entry.time);
    } else if (!take(entry.client, entry.bytes.data(), entry.bytes.size(), entry.length, entry.time)) {
      break;
    }
  }
  if (!error.empty()) {
    std::fprintf(stderr, "vesprine-monitor: %s: %s; replayed the %lld entries before it\n", path, error.c_str(),
                 static_cast<long long>(entries));
    return false;
  }
  std::fprintf(stderr, "vesprine-monitor: replayed %lld entries of %s%s\n", static_cast<long long>(entries), path,
               Stopping() ? " (interrupted)" : "");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  CatchStop();

  if (options.compares || options.exports) {
    try {
      return options.compares ? Compare(options.comparing) : Export(options.replay, options.exporting);
    } catch (const std::bad_alloc&) {
      std::fputs("vesprine-monitor: out of memory: what this session draws does not fit in this process (a 32-bit "
                 "one has 2 GiB; the 64-bit monitor has room)\n", stderr);
      return 2;
    }
  }

  std::unique_ptr<View> view;
  if (options.view) {
    view = std::make_unique<View>();
    std::string error;
    if (!view->Start(options.address, static_cast<uint16_t>(options.port), options.images, error)) {
      std::fprintf(stderr, "vesprine-monitor: %s\n", error.c_str());
      return 1;
    }
  }

  // Lines go out in blocks, flushed whenever no message is waiting.
  static char out_buffer[1 << 16];
  std::setvbuf(stdout, out_buffer, _IOFBF, sizeof(out_buffer));

  // A file that cannot be written, or a write that fails later, is said
  // once; the monitor goes on without recording.
  SessionWriter recording;
  if (!options.record.empty()) {
    std::string error;
    if (!recording.Open(options.record, error)) std::fprintf(stderr, "vesprine-monitor: %s\n", error.c_str());
  }
  const auto report_recording = [&] {
    const std::string error = recording.TakeError();
    if (!error.empty()) std::fprintf(stderr, "vesprine-monitor: %s\n", error.c_str());
  };

  // One message, from the pipe or from a session, that arrived at `time`
  // (microseconds since the epoch). Returns false once --count is reached.
  Tally tally;
  const auto take = [&](int64_t client, const uint8_t* bytes, size_t stored, size_t length, int64_t time) {
    recording.Add(SessionEntry::kMessage, client, time, bytes, stored, length);
    report_recording();
    if (view) view->OnMessage(client, bytes, stored, length, time);
    const Decoded decoded = Decode(bytes, stored);
    // As many clients as the scene knows, whatever a session file names.
    if (!tally.encodings.count(client) && tally.encodings.size() >= kMaxClients) {
      tally.encodings.erase(tally.encodings.begin());
    }
    Encoding& encoding = tally.encodings[client];
    std::string line = options.json ? FormatJson(client, decoded, length, encoding)
                                    : FormatLine(client, decoded, length, encoding);
    if (options.hex && options.json) {
      // In JSON the bytes go into the object, so that every line stays one object.
      line.pop_back();
      line += ",\"hex\":\"";
      for (size_t i = 0; i < stored; ++i) {
        char digits[3];
        std::snprintf(digits, sizeof(digits), "%02x", bytes[i]);
        line += digits;
      }
      line += "\"}";
    }
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    if (options.hex && !options.json) std::fputs(FormatHex(bytes, stored).c_str(), stdout);
    encoding = NextEncoding(decoded, encoding);
    ++tally.messages;
    tally.bytes += length;
    if (decoded.error.empty()) {
      ++tally.per_command[decoded.command];
    } else {
      ++tally.malformed;
    }
    return options.count == 0 || tally.messages < options.count;
  };
  const auto client_event = [&](int64_t client, bool joined, int64_t time) {
    recording.Add(joined ? SessionEntry::kJoined : SessionEntry::kLeft, client, time, nullptr, 0, 0);
    report_recording();
    if (view) view->OnClient(client, joined, time);
    // What is kept per client goes with it.
    if (!joined) tally.encodings.erase(client);
  };

  const auto announce_view = [&] {
    if (!view) return;
    // The warning comes first: a script that waits for the address has read it too.
    if (!view->Loopback()) {
      std::fputs("vesprine-monitor: warning: the view is served beyond this machine; whoever has the address "
                 "below, token included, sees the drawing\n", stderr);
    }
    std::fprintf(stderr, "vesprine-monitor: live view at %s\n", view->Url().c_str());
    std::fflush(stderr);
  };

  if (!options.replay.empty()) {
    announce_view();
    const bool complete = Replay(options, take, client_event);
    std::fflush(stdout);
    recording.Flush();
    report_recording();
    if (view && complete && (options.count == 0 || tally.messages < options.count)) {
      std::fputs("vesprine-monitor: the replay is done; the live view stays open (Ctrl-C ends it)\n", stderr);
      std::fflush(stderr);
      while (!WaitForStop(1000)) {
      }
    }
    PrintSummary(tally);
    return complete ? 0 : 1;
  }

  ServeHandlers handlers;
  handlers.message = [&](int64_t client, const uint8_t* bytes, size_t stored, size_t length) {
    return take(client, bytes, stored, length, MicrosecondsNow());
  };
  handlers.client = [&](int64_t client, bool joined) { client_event(client, joined, MicrosecondsNow()); };
  handlers.idle = [&] {
    std::fflush(stdout);
    recording.Flush();
    report_recording();
  };
  handlers.ready = [&] {
    std::fputs("vesprine-monitor: serving VesprinePipe\n", stderr);
    std::fflush(stderr);
    announce_view();
  };

  switch (Serve(handlers)) {
    case ServeResult::kStopped:
      break;
    case ServeResult::kNameInUse:
      std::fputs("vesprine-monitor: VesprinePipe is already served by another process\n", stderr);
      return 1;
    case ServeResult::kFailed:
      std::fputs("vesprine-monitor: cannot serve VesprinePipe\n", stderr);
      return 1;
  }
  std::fflush(stdout);
  PrintSummary(tally);
  return 0;
}
