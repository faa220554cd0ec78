#include "options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "http/view.h"

namespace {

constexpr char kUsage[] =
    "usage: vesprine-monitor [--json] [--count N] [--hex] [--view [--listen ADDR:PORT]] [--record FILE]\n"
    "                        [-- PROGRAM ARGS...]\n"
    "       vesprine-monitor --replay FILE [--pace] [--view] [--json] [--count N] [--hex]\n"
    "       vesprine-monitor --replay FILE --export OUT [--at N | --from A --to B [--fps F] [--every M] [--pace]]\n"
    "       vesprine-monitor --compare A B [--diff OUT.png] [--max-difference D] [--total-pixels P]\n"
    "                        [--at N | --final] [--allow-empty] [--json]\n";

constexpr char kAbout[] =
    "Serves the pipe VesprinePipe as a display host would and prints one line per message received: the\n"
    "client number, the command and the fields it sets. A summary goes to standard error on exit (after\n"
    "--count, Ctrl-C or SIGTERM, or once PROGRAM has ended).";

// The usage above, then each option with what it takes.
class Usage : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App*, std::string) const override { return std::string(kUsage) + kAbout + "\n"; }
  std::string make_description(const CLI::App*) const override { return ""; }
  std::string make_option_opts(const CLI::Option* option) const override {
    return option->get_type_size() == 0 ? "" : " " + option->get_type_name();
  }
};

constexpr char kFooter[] =
    "-- PROGRAM ARGS...: serve first, then run PROGRAM (no shell); stop once it has ended and its messages are\n"
    "read. A clip has a frame for each 1/fps of recorded time; when that gives fewer than 5 frames for the\n"
    "range (a program that draws faster than the frame rate), a frame per message, each 1/fps long.\n"
    "Exit status: 0 done (--compare: alike), 1 --compare found a difference, 2 any error (bad options, a\n"
    "file that cannot be read or written, a damaged session, an empty session to compare, interrupted, a\n"
    "PROGRAM that cannot start); with -- PROGRAM, PROGRAM's own status.";

// A whole number from `least` to `most`, said in one line when not.
CLI::Validator Whole(int64_t least, int64_t most = INT64_MAX) {
  return CLI::Validator(
      [least, most](std::string& text) -> std::string {
        int64_t value = 0;
        const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (code == std::errc::result_out_of_range ||
            (code == std::errc() && end == text.data() + text.size() && (value < least || value > most))) {
          return text + " is not in " + std::to_string(least) + ".." +
                 (most == INT64_MAX ? std::string() : std::to_string(most));
        }
        if (code != std::errc() || end != text.data() + text.size()) return "'" + text + "' is not a whole number";
        return "";
      },
      "");
}

// ADDR:PORT, [IPv6]:PORT or localhost:PORT, into `options`; or why not.
std::string Listen(const std::string& text, Options& options) {
  const size_t colon = text.rfind(':');
  // In [IPv6]:PORT the port follows the bracket, not just the address's last colon.
  if (colon == std::string::npos || colon == 0 || (text[0] == '[' && text[colon - 1] != ']')) {
    return "'" + text + "' is not ADDR:PORT";
  }
  std::string address = text.substr(0, colon);
  if (address.size() > 2 && address.front() == '[' && address.back() == ']')
    address = address.substr(1, address.size() - 2);
  const std::string port = text.substr(colon + 1);
  std::string digits = port;
  const std::string wrong = Whole(0, 65535)(digits);
  if (!wrong.empty()) return "port " + wrong;
  std::string name = address;  // a host name, in any case
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  if (name == "localhost") address = "127.0.0.1";
  if (!IsIpAddress(address)) return "not an IP address: " + address;
  options.address = address;
  options.port = static_cast<uint16_t>(std::stoi(port));
  return "";
}

// Edits (insertions, deletions, changes) from `a` to `b`.
size_t Distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// What an argument nobody took is: an unknown option (with the nearest
// known one, when it is near), or a word that belongs after --.
std::string Unexpected(const CLI::App& app, const std::string& argument) {
  if (argument.empty() || argument[0] != '-') {
    return argument + ": unexpected argument (a program to run goes after --)";
  }
  const std::string name = argument.substr(0, argument.find('='));
  std::string nearest;
  size_t best = 3;  // further than two edits is no near miss
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& known : option->get_lnames()) {
      const size_t distance = Distance(name, "--" + known);
      if (distance < best) best = distance, nearest = "--" + known;
    }
  }
  return name + ": unknown option" + (nearest.empty() ? "" : "; did you mean " + nearest + "?");
}

// The checks CLI11 cannot state: which options need which mode.
std::string Check(const CLI::App& app, const Options& options) {
  const auto given = [&](const char* name) { return app.count(name) > 0; };
  if (given("--at") && !options.exports && !options.compares) return "--at needs --export or --compare";
  if (options.exporting.from && options.exporting.to && *options.exporting.from > *options.exporting.to) {
    return "--from " + std::to_string(*options.exporting.from) + " is past --to " +
           std::to_string(*options.exporting.to);
  }
  if (!options.program.empty() && (options.compares || !options.replay.empty())) {
    return "-- PROGRAM runs a program while serving the pipe; it excludes --replay and --compare";
  }
  if (options.program.size() == 1 && options.program[0].empty()) return "-- needs a program to run after it";
  std::error_code unknown;
  if (!options.record.empty() && !options.replay.empty() &&
      std::filesystem::equivalent(options.record, options.replay, unknown)) {
    return "--record " + options.record + " is the session --replay reads; recording would empty it first";
  }
  return "";
}

// What the options read before it goes into Options, as CLI11 reads it.
struct Read {
  int64_t fps = 0, most = 0, every = 0, at = 0, from = 0, to = 0;
  std::vector<std::string> pair;
  std::string listen;
};

// The options for serving the pipe and replaying a session.
void AddServing(CLI::App& app, Options& options, Read& read) {
  app.add_flag("--json", options.json, "one JSON object per line instead");
  app.add_option("--count", options.count, "exit after N messages (malformed ones included)")
      ->type_name("N")
      ->check(Whole(1));
  app.add_flag("--hex", options.hex, "also print each message's bytes (in JSON, as \"hex\")");
  auto* view = app.add_flag("--view", options.view, "also draw what the messages say and serve it as a live web page");
  app.add_option("--listen", read.listen, "where the page is served (default 127.0.0.1:8765; port 0: any)")
      ->type_name("ADDR:PORT")
      ->check(CLI::Validator(
          [](std::string& text) {
            Options scratch;
            return Listen(text, scratch);
          },
          ""))
      ->needs(view);
  app.add_option("--images", options.images, "the folder relative image paths are read from (default .)")
      ->type_name("DIR");
  app.add_option("--record", options.record, "also write every message, with its client and time, to a session file")
      ->type_name("FILE");
  auto* replay = app.add_option("--replay", options.replay, "read the messages from a session file instead of the pipe")
                     ->type_name("FILE");
  app.add_flag("--pace", options.pace, "replay, or make a clip, at the recorded pace (pauses up to 10 s)")
      ->needs(replay);
}

// The options for an export: a picture, or a clip.
void AddExporting(CLI::App& app, Options& options, Read& read) {
  auto* output = app.add_option("--export", options.exporting.output,
                                "a PNG of the screen after message N (default the last), or a clip of messages "
                                "A to B (.png animated; .gif, .mp4, .webm through ffmpeg)")
                     ->type_name("OUT")
                     ->needs(app.get_option("--replay"))
                     ->excludes(app.get_option("--view"));
  auto* at_option = app.add_option("--at", read.at, "export, or compare, the screens right after message N")
                        ->type_name("N")
                        ->check(Whole(0));
  app.add_option("--from", read.from, "the clip's first message (default 0)")
      ->type_name("A")
      ->check(Whole(0))
      ->needs(output)
      ->excludes(at_option);
  app.add_option("--to", read.to, "the clip's last message (default the last)")
      ->type_name("B")
      ->check(Whole(0))
      ->needs(output)
      ->excludes(at_option);
  app.add_option("--fps", read.fps, "the clip's frames a second (default 30)")
      ->type_name("F")
      ->check(Whole(1, 1000))
      ->needs(output);
  app.add_option("--every", read.every, "a clip frame every M messages instead of by recorded time")
      ->type_name("M")
      ->check(Whole(1))
      ->needs(output)
      ->excludes(at_option)
      ->excludes("--pace");
  app.add_flag("--overlay", options.exporting.overlay, "transparent where nothing is drawn")->needs(output);
}

// The options of --compare.
void AddComparing(CLI::App& app, Options& options, Read& read) {
  auto* compare = app.add_option("--compare", read.pair,
                                 "compare two sessions: the first message and the first screen "
                                 "that differ")
                      ->type_name("A B")
                      ->expected(2)
                      ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
                      ->excludes(app.get_option("--export"))
                      ->excludes(app.get_option("--replay"))
                      ->excludes(app.get_option("--view"))
                      ->excludes(app.get_option("--record"));
  app.add_option("--diff", options.comparing.diff, "draw where the screens differ")
      ->type_name("OUT.png")
      ->needs(compare);
  app.add_option("--max-difference", read.most, "the difference of a channel still equal (default 0)")
      ->type_name("D")
      ->check(Whole(0, 255))
      ->needs(compare);
  app.add_option("--total-pixels", options.comparing.totalPixels, "how many pixels may differ (default 0)")
      ->type_name("P")
      ->check(Whole(0))
      ->needs(compare);
  app.add_flag("--final", options.comparing.final, "compare only the last screens")
      ->needs(compare)
      ->excludes(app.get_option("--at"));
  app.add_flag("--allow-empty", options.comparing.allowEmpty, "compare sessions that hold no message")->needs(compare);
}

// What was read, where the rest of the monitor looks for it.
void Store(const CLI::App& app, const Read& read, Options& options) {
  options.exports = app.count("--export") > 0;
  options.compares = !read.pair.empty();
  if (read.pair.size() == 2) options.comparing.a = read.pair[0], options.comparing.b = read.pair[1];
  if (app.count("--at")) options.exporting.at = options.comparing.at = read.at;
  if (app.count("--from")) options.exporting.from = read.from;
  if (app.count("--to")) options.exporting.to = read.to;
  if (app.count("--every")) options.exporting.every = read.every;
  options.exporting.fps = static_cast<int>(read.fps);
  options.comparing.maxDifference = static_cast<int>(read.most);
  options.exporting.images = options.comparing.images = options.images;
  options.exporting.pace = options.pace;
  options.comparing.json = options.json;
}

}  // namespace

int ReadOptions(int argc, char** argv, Options& options) {
  // What follows -- is the program to run, whatever it looks like.
  std::vector<std::string> arguments(argv + 1, argv + argc);
  const auto dashes = std::find(arguments.begin(), arguments.end(), "--");
  if (dashes != arguments.end()) {
    options.program.assign(dashes + 1, arguments.end());
    if (options.program.empty()) options.program.push_back("");
    arguments.erase(dashes, arguments.end());
  }

  CLI::App app("", "vesprine-monitor");
  app.footer(kFooter);
  app.allow_extras();
  // Paths that start with a slash are paths, on Windows too (CLI11 would read /x as an option there).
  app.allow_windows_style_options(false);
  app.formatter(std::make_shared<Usage>());
  // An option given twice: the last one counts, as a script that adds to a default expects.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.get_formatter()->column_width(26);
  Read read;
  read.fps = options.exporting.fps, read.most = options.comparing.maxDifference;
  AddServing(app, options, read);
  AddExporting(app, options, read);
  AddComparing(app, options, read);

  std::string wrong;
  try {
    std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them from the back
    app.parse(arguments);
    if (!app.remaining().empty()) wrong = Unexpected(app, app.remaining().front());
    if (!read.listen.empty()) Listen(read.listen, options);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return kExitDone;
  } catch (const CLI::ParseError& error) {
    wrong = error.what();
  }
  // --compare the only option of two values: CLI11's count of them said plainly.
  if (wrong.rfind("--compare:", 0) == 0 || (!read.pair.empty() && read.pair.size() != 2)) {
    wrong = "--compare needs two session files, A and B";
  }
  Store(app, read, options);
  if (wrong.empty()) wrong = Check(app, options);
  if (wrong.empty()) return -1;
  std::fprintf(stderr, "vesprine-monitor: %s (--help lists the options)\n", wrong.c_str());
  return kExitError;
}
