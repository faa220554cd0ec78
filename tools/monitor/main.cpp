// vesprine-monitor: serves the display host's pipe name and shows, message by
// message, what host applications send through the library.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "decode.h"
#include "server.h"
#include "view.h"

namespace {

constexpr char kUsage[] =
    "usage: vesprine-monitor [--json] [--count N] [--hex] [--view [--listen ADDR:PORT] [--images DIR]]\n"
    "Serves the pipe VesprinePipe as a display host would and prints one line per\n"
    "message received: the client number, the command and the fields it sets.\n"
    "  --json     one JSON object per line instead\n"
    "  --count N  exit after N messages (malformed ones included)\n"
    "  --hex      also print each message's bytes (in JSON, as \"hex\")\n"
    "  --view     also draw what the messages say and serve it as a live web page\n"
    "  --listen ADDR:PORT  where the page is served (default 127.0.0.1:8765; port 0: any)\n"
    "  --images DIR        the folder that relative image paths are read from (default .)\n"
    "  --help     this text\n"
    "A summary goes to standard error on exit (after --count, Ctrl-C or SIGTERM).\n";

struct Options {
  bool json = false;
  bool hex = false;
  long count = 0;  // 0: no limit
  bool view = false;
  std::string address = "127.0.0.1";
  long port = 8765;
  std::string images = ".";
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
    } else if (arg == "--view") {
      options.view = true;
    } else if (arg == "--images" && i + 1 < argc) {
      options.images = argv[++i];
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

  Tally tally;
  ServeHandlers handlers;
  handlers.message = [&](int client, const uint8_t* bytes, size_t stored, size_t length) {
    const Decoded decoded = Decode(bytes, stored);
    if (view) {
      const auto now = std::chrono::system_clock::now().time_since_epoch();
      view->OnMessage(client, decoded, std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
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
  handlers.client = [&](int client, bool joined) {
    if (view) view->OnClient(client, joined);
  };
  handlers.idle = [] { std::fflush(stdout); };
  handlers.ready = [&] {
    std::fputs("vesprine-monitor: serving VesprinePipe\n", stderr);
    if (view) {
      std::fprintf(stderr, "vesprine-monitor: live view at %s\n", view->Url().c_str());
      if (options.address != "127.0.0.1" && options.address != "::1" && options.address != "localhost") {
        std::fputs("vesprine-monitor: warning: the view is served beyond this machine; anyone who can reach it "
                   "sees the drawing\n", stderr);
      }
    }
    std::fflush(stderr);
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
