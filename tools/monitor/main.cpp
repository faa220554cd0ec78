// vesprine-monitor: serves the display host's pipe name and shows, message by
// message, what host applications send through the library.
#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "http/view.h"
#include "input/replay.h"
#include "input/recording.h"
#include "input/stop.h"
#include "options.h"
#include "pipeline/pipeline.h"
#include "print/printer.h"
#include "run.h"

namespace {

int64_t MicrosecondsNow() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
}

int CompareOrExport(const Options& options) {
  try {
    return options.compares ? Compare(options.comparing) : Export(options.replay, options.exporting);
  } catch (const std::bad_alloc&) {
    std::fputs("vesprine-monitor: out of memory: what this session draws does not fit in this process (a 32-bit "
               "one has 2 GiB; the 64-bit monitor has room)\n", stderr);
    return kExitError;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int status = ReadOptions(argc, argv, options); status >= 0) return status;
  CatchStop();
  if (options.compares || options.exports) {
    const int status = CompareOrExport(options);
    return FlushLines() ? status : kExitError;
  }

  // With the view, every entry goes into the pipeline, which the view only reads.
  std::unique_ptr<Pipeline> pipeline;
  std::unique_ptr<View> view;
  if (options.view) {
    pipeline = std::make_unique<Pipeline>(options.images);
    view = std::make_unique<View>();
    std::string error;
    if (!view->Start(options.address, options.port, *pipeline, error)) {
      std::fprintf(stderr, "vesprine-monitor: %s\n", error.c_str());
      return kExitError;
    }
    pipeline->renderer.Start();
  }

  // A program is not run for a recording that cannot be made. The file is
  // emptied only once recording starts: once the session replayed reads as
  // one, or once the name is served and the program runs.
  Recording recording;
  if (!options.record.empty() && !recording.Check(options.record) && !options.program.empty()) return kExitError;
  Printer printer(options.json, options.hex);
  const auto wants_more = [&] { return options.count == 0 || printer.messages() < options.count; };
  // One message, from the pipe or from a session, that arrived at `time`
  // (microseconds since the epoch). Returns false once --count is reached.
  const auto take = [&](int64_t client, const uint8_t* bytes, size_t stored, size_t length, int64_t time) {
    recording.Add(SessionEntry::kMessage, client, time, bytes, stored, length);
    if (pipeline) pipeline->Add(SessionEntry::kMessage, client, time, bytes, stored, length);
    printer.Print(client, bytes, stored, length);
    return wants_more();
  };
  const auto client_event = [&](int64_t client, bool joined, int64_t time) {
    const SessionEntry::Kind kind = joined ? SessionEntry::kJoined : SessionEntry::kLeft;
    recording.Add(kind, client, time, nullptr, 0, 0);
    if (pipeline) pipeline->Add(kind, client, time, nullptr, 0, 0);
    if (!joined) printer.Forget(client);
  };
  // The lines and the recording out, whenever no message is waiting.
  const auto flush = [&] {
    FlushLines();
    recording.Flush();
  };

  if (!options.replay.empty()) {
    if (view) view->Announce();
    const bool complete = Replay(options.replay, options.pace, {take, client_event, [&] { recording.Start(); }});
    flush();
    if (!complete) return kExitError;
    if (view && wants_more()) {
      std::fputs("vesprine-monitor: the replay is done; the live view stays open (Ctrl-C ends it)\n", stderr);
      std::fflush(stderr);
      while (!WaitForStop(1000)) {
      }
    }
    printer.Summary();
    return !FlushLines() || recording.failed() ? kExitError : kExitDone;
  }

  ServeHandlers handlers;
  handlers.message = [&](int64_t client, const uint8_t* bytes, size_t stored, size_t length) {
    return take(client, bytes, stored, length, MicrosecondsNow());
  };
  handlers.client = [&](int64_t client, bool joined) { client_event(client, joined, MicrosecondsNow()); };
  handlers.idle = flush;
  handlers.ready = [&] { if (view) view->Announce(); };
  const int status = ServeAndRun(handlers, options.program, [&] { recording.Start(); }, [&] { printer.Summary(); });
  return !FlushLines() || recording.failed() ? kExitError : status;
}
