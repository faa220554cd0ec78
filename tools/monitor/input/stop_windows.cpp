// Windows: the console's control events (Ctrl-C, Ctrl-Break, the console
// closing, logoff, shutdown) set the flag and an event. The handler runs
// on a thread of its own; after a close, logoff or shutdown the process
// ends as soon as it returns, so there it waits for the monitor to end.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "input/exit_status.h"
#include "input/stop.h"

namespace {

std::atomic<bool> stopping{false};
const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);

BOOL WINAPI OnControl(DWORD type) {
  RequestStop();
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) Sleep(5000);
  return TRUE;
}

}  // namespace

void CatchStop() {
  SetConsoleCtrlHandler(OnControl, TRUE);
  std::thread([] {
    WaitForSingleObject(event, INFINITE);
    Sleep(kStopGrace);
    std::fputs("vesprine-monitor: still stopping after 0.8 s; ended now\n", stderr);
    std::_Exit(kExitError);
  }).detach();
}

bool Stopping() { return stopping.load(std::memory_order_relaxed); }

void RequestStop() {
  stopping.store(true, std::memory_order_relaxed);
  SetEvent(event);
}

bool WaitForStop(long milliseconds) {
  WaitForSingleObject(event, static_cast<DWORD>(milliseconds));
  return Stopping();
}

int StopDescriptor() { return -1; }

void* StopEvent() { return event; }
