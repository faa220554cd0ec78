// Linux: SIGINT and SIGTERM set the flag and write a byte to a pipe, both
// safe in a signal handler, whichever thread the signal lands on.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "input/exit_status.h"
#include "input/process.h"
#include "input/stop.h"

namespace {

std::atomic<bool> stopping{false};
int wake[2] = {-1, -1};

void OnSignal(int) { RequestStop(); }

// The monitor's last word, kStopGrace after a stop that did not end it;
// the programs it runs end with it.
void EndLate() {
  std::this_thread::sleep_for(std::chrono::milliseconds(kStopGrace));
  static const char kLine[] = "vesprine-monitor: still stopping after 0.8 s; ended now\n";
  [[maybe_unused]] const ssize_t ignored = write(2, kLine, sizeof(kLine) - 1);
  EndProgramsNow();
  std::_Exit(kExitError);
}

}  // namespace

void CatchStop() {
  // Started with a standard descriptor closed, the monitor would take it for
  // its own pipe or files, and print into them. Each is /dev/null instead,
  // opened the other way round, so that using it fails as on a closed one.
  for (int fd = 0; fd < 3; ++fd) {
    if (fcntl(fd, F_GETFD) < 0) open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
  }
  if (wake[0] < 0 && pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) wake[0] = wake[1] = -1;
  // No SA_RESTART: a blocking call the signal lands in returns early.
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // Standard output into a pipe whose reader has gone (| head) fails a
  // write, said where it was made, instead of ending the monitor.
  signal(SIGPIPE, SIG_IGN);
  std::thread([] {
    while (!WaitForStop(60'000)) {
    }
    EndLate();
  }).detach();
}

bool Stopping() { return stopping.load(std::memory_order_relaxed); }

void RequestStop() {
  stopping.store(true, std::memory_order_relaxed);
  if (wake[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(wake[1], &byte, 1);
  }
}

bool WaitForStop(long milliseconds) {
  // Before CatchStop there is no pipe to wake the poll (which then skips a
  // descriptor of -1 and only sleeps): a little at a time, to see the flag.
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::milliseconds(milliseconds);
  pollfd readable{wake[0], POLLIN, 0};
  while (!Stopping() && Clock::now() < until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    poll(&readable, 1, static_cast<int>(wake[0] >= 0 ? left : std::min<long long>(left, 50)));
  }
  return Stopping();
}

int StopDescriptor() { return wake[0]; }

void* StopEvent() { return nullptr; }
