// Linux: SIGINT and SIGTERM set the flag and write a byte to a pipe, both
// safe in a signal handler, whichever thread the signal lands on.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>

#include "input/stop.h"

namespace {

std::atomic<bool> stopping{false};
int wake[2] = {-1, -1};

void OnSignal(int) { RequestStop(); }

}  // namespace

void CatchStop() {
  if (wake[0] < 0 && pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) wake[0] = wake[1] = -1;
  // No SA_RESTART: a blocking call the signal lands in returns early.
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
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
  // A little at a time, so that a flag set before CatchStop is seen too
  // (poll skips a descriptor of -1, and then only sleeps).
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  pollfd readable{wake[0], POLLIN, 0};
  while (!Stopping() && std::chrono::steady_clock::now() < until) poll(&readable, 1, 50);
  return Stopping();
}

int StopDescriptor() { return wake[0]; }

void* StopEvent() { return nullptr; }
