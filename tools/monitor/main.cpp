// vesprine-monitor: serves the display host's pipe name and shows, message by
// message, what host applications send through the library.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "decode.h"
#include "server.h"

namespace {

constexpr char kUsage[] =
    "usage: vesprine-monitor [--json] [--count N] [--hex]\n"
    "Serves the pipe VesprinePipe as a display host would and prints one line per\n"
    "message received: the client number, the command and the fields it sets.\n"
    "  --json     one JSON object per line instead\n"
    "  --count N  exit after N messages (malformed ones included)\n"
    "  --hex      also print each message's bytes (in JSON, as \"hex\")\n"
    "  --help     this text\n"
    "A summary goes to standard error on exit (after --count, Ctrl-C or SIGTERM).\n";

struct Options {
  bool json = false;
  bool hex = false;
  long count = 0;  // 0: no limit
};

struct Tally {
  std::map<std::string, long> per_command;
  long messages = 0;
  long malformed = 0;
  unsigned long long bytes = 0;
  std::map<int, Encoding> encodings;  // per client, UTF-8 until it says otherwise
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      options.json = true;
    } else if (arg == "--hex") {
      options.hex = true;
    } else if (arg == "--count" && i + 1 < argc) {
      char* end = nullptr;
      options.count = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || options.count <= 0) return false;
    } else {
      return false;
    }
  }
  return true;
}

void PrintSummary(const Tally& tally) {
  std::fprintf(stderr, "vesprine-monitor: %ld messages, %ld malformed, %llu bytes\n", tally.messages, tally.malformed,
               tally.bytes);
  for (const auto& [command, count] : tally.per_command) std::fprintf(stderr, "  %-22s %ld\n", command.c_str(), count);
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

  Tally tally;
  const auto on_message = [&](int client, const uint8_t* bytes, size_t stored, size_t length) {
    const Decoded decoded = Decode(bytes, stored);
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
    std::fflush(stdout);
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
  const auto ready = [] {
    std::fputs("vesprine-monitor: serving VesprinePipe\n", stderr);
    std::fflush(stderr);
  };

  switch (Serve(on_message, ready)) {
    case ServeResult::kStopped:
      break;
    case ServeResult::kNameInUse:
      std::fputs("vesprine-monitor: VesprinePipe is already served by another process\n", stderr);
      return 1;
    case ServeResult::kFailed:
      std::fputs("vesprine-monitor: cannot serve VesprinePipe\n", stderr);
      return 1;
  }
  PrintSummary(tally);
  return 0;
}
