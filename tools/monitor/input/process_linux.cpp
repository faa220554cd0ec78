// Linux: posix_spawnp, with the pipe to its standard input (or the
// monitor's) the one descriptor the program gets beyond standard output
// and error; SIGPIPE ignored here, so that a program that stops reading
// fails a write instead of ending the monitor, and every signal the monitor
// ignores left to its default in the program. Our end of the pipe does not
// block, so that a stop is seen while the program is slow to read. Without
// a terminal the program leads a process group of its own, ended whole.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "input/process.h"
#include "input/stop.h"

namespace {

// The programs running, for a monitor that must end at once: each a pid,
// or its process group's id negated; 0 a free place.
std::atomic<pid_t> running[4];

pid_t RunningId(intptr_t process, intptr_t group) { return static_cast<pid_t>(group != 0 ? -group : process); }

void Running(pid_t id) {
  for (auto& place : running) {
    pid_t free = 0;
    if (place.compare_exchange_strong(free, id)) return;
  }
}

void Ran(pid_t id) {
  for (auto& place : running) {
    pid_t was = id;
    if (place.compare_exchange_strong(was, 0)) return;
  }
}

}  // namespace

void EndProgramsNow() {
  for (auto& place : running) {
    const pid_t id = place.load();
    if (id != 0) kill(id, SIGKILL);
  }
}

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string list = path != nullptr ? path : "";
  for (size_t at = 0; at <= list.size();) {
    const size_t end = std::min(list.find(':', at), list.size());
    const std::filesystem::path file = std::filesystem::path(list.substr(at, end - at)) / name;
    if (end > at && access(file.c_str(), X_OK) == 0) return file.string();
    at = end + 1;
  }
  return "";
}

bool ChildProcess::Start(const std::vector<std::string>& arguments, bool input) {
  Kill();
  std::signal(SIGPIPE, SIG_IGN);
  int ends[2] = {-1, -1};
  if (input && pipe2(ends, O_CLOEXEC) != 0) {
    why_ = std::strerror(errno);
    return false;
  }
  // Only our end is made non-blocking: the program's end is another open file.
  if (input) fcntl(ends[1], F_SETFL, O_NONBLOCK);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input) posix_spawn_file_actions_adddup2(&actions, ends[0], STDIN_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, ignored;
  sigemptyset(&none);
  sigemptyset(&ignored);
  sigaddset(&ignored, SIGPIPE);
  sigaddset(&ignored, SIGXFSZ);  // by the server, so that a session past the size limit fails a write
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &ignored);
  // At a terminal the program stays in its foreground group, to read it and to be reached by Ctrl-C.
  const bool own_group = isatty(STDIN_FILENO) == 0;
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                           (own_group ? POSIX_SPAWN_SETPGROUP : 0)));
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (input) close(ends[0]);
  if (error != 0) {
    if (input) close(ends[1]);
    why_ = std::strerror(error);
    return false;
  }
  input_ = ends[1];
  process_ = pid;
  group_ = own_group ? pid : 0;
  Running(RunningId(process_, group_));
  return true;
}

bool ChildProcess::Write(const void* bytes, size_t size) {
  const auto* at = static_cast<const char*>(bytes);
  while (size > 0 && !Stopping()) {
    const ssize_t wrote = write(static_cast<int>(input_), at, size);
    if (wrote > 0) {
      at += wrote;
      size -= static_cast<size_t>(wrote);
    } else if (wrote == 0 || (errno != EAGAIN && errno != EINTR)) {
      return false;
    } else {
      // The pipe is full: waits for room in it, or for a stop.
      pollfd ready[] = {{static_cast<int>(input_), POLLOUT, 0}, {StopDescriptor(), POLLIN, 0}};
      poll(ready, 2, -1);
    }
  }
  return size == 0;
}

namespace {

// Waits for the program; its status as waitpid gives it, or -1.
int Wait(pid_t pid) {
  int status = -1;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

}  // namespace

bool ChildProcess::Finish() {
  if (process_ < 0) return false;
  if (input_ >= 0) close(static_cast<int>(input_));
  const int status = Wait(static_cast<pid_t>(process_));
  Ran(RunningId(process_, group_));
  input_ = process_ = -1;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void ChildProcess::Kill() {
  if (process_ < 0) return;
  const auto pid = static_cast<pid_t>(process_);
  if (input_ >= 0) close(static_cast<int>(input_));
  if (group_ == 0) {
    kill(pid, SIGKILL);
    Wait(pid);
  } else {
    // The group asked to end; what is left of it after the grace, made to.
    // Its id stays the group's while any of it is left, the program unreaped included.
    kill(-pid, SIGTERM);
    bool reaped = false;
    for (long waited = 0; waited < kEndGrace; waited += 10) {
      reaped = reaped || waitpid(pid, nullptr, WNOHANG) == pid;
      if (reaped && kill(-pid, 0) != 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(-pid, SIGKILL);
    if (!reaped) Wait(pid);
  }
  Ran(RunningId(process_, group_));
  input_ = process_ = -1;
  group_ = 0;
}

bool ChildProcess::Ended(int& status) {
  if (process_ < 0) return false;
  int state = 0;
  if (waitpid(static_cast<pid_t>(process_), &state, WNOHANG) != static_cast<pid_t>(process_)) return false;
  status = WIFEXITED(state) ? WEXITSTATUS(state) : 128 + WTERMSIG(state);
  Ran(RunningId(process_, group_));
  if (input_ >= 0) close(static_cast<int>(input_));
  input_ = process_ = -1;
  return true;
}

bool ErrorsToTerminal() { return isatty(2) != 0; }
