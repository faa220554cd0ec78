#include "run.h"

#include <cstdio>

#include "input/process.h"
#include "input/stop.h"
#include "options.h"
#include "print/printer.h"

int ServeAndRun(ServeHandlers handlers, const std::vector<std::string>& program, const std::function<void()>& started,
                const std::function<void()>& served) {
  // Started once the name is served; serving ends once it has ended and its connections are read.
  ChildProcess child;
  bool failed = false, ended = false;
  int status = kExitError;
  const std::function<void()> ready = handlers.ready;
  handlers.ready = [&] {
    if (program.empty()) std::fputs("vesprine-monitor: serving VesprinePipe\n", stderr);
    std::fflush(stderr);
    if (ready) ready();
    if (!program.empty() && !child.Start(program, false)) {
      std::fprintf(stderr, "vesprine-monitor: cannot run %s: %s\n", program[0].c_str(), child.why().c_str());
      failed = true;
      return;
    }
    started();
  };
  if (!program.empty()) {
    handlers.done = [&] {
      ended = ended || child.Ended(status);
      return failed || ended;
    };
  }

  switch (Serve(handlers)) {
    case ServeResult::kStopped:
      break;
    case ServeResult::kNameInUse: {
      const std::string who = NameServer();
      std::fprintf(stderr, "vesprine-monitor: VesprinePipe is already served by another process%s%s\n",
                   who.empty() ? "" : ": ", who.c_str());
      return kExitError;
    }
    case ServeResult::kFailed:
      std::fputs("vesprine-monitor: cannot serve VesprinePipe\n", stderr);
      return kExitError;
  }
  FlushLines();  // the lines before the summary
  if (failed) return kExitError;
  served();
  if (program.empty()) return kExitDone;
  // Stopped by --count: the program is left to finish, unless interrupted.
  while (!ended && !WaitForStop(50)) ended = child.Ended(status);
  if (!ended) {
    child.Kill();
    std::fprintf(stderr, "vesprine-monitor: interrupted; %s ended\n", program[0].c_str());
    return kExitError;
  }
  return status;
}
