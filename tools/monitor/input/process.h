// What the monitor needs of the operating system to run programs: ffmpeg
// for the export, found on the path and fed on its standard input, and the
// program run under --record -- PROGRAM; and whether standard error is a
// terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The program `name` (on Windows NAME.exe) as found on the path, or "".
std::string FindProgram(const std::string& name);

// A program started from an argument vector, never through a shell, its
// standard input a pipe written here in binary (or the monitor's own), its
// output and errors the monitor's own. It inherits nothing else of the
// monitor's. Ending it ends what it started in turn: on Linux its process
// group, when the monitor's standard input is no terminal (at a terminal
// it stays in the terminal's foreground group, to read the terminal, and
// Ctrl-C reaches all of it); on Windows its job, which also ends what is
// left of it once it has ended by itself and the monitor lets go of it.
class ChildProcess {
 public:
  // Well within the monitor's own grace for a stop (kStopGrace).
  static constexpr long kEndGrace = 200;  // milliseconds

  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { Kill(); }

  // Starts `arguments[0]` (a path from FindProgram, or on Linux a name
  // looked up on the path) with the rest as its arguments, its standard
  // input a pipe when `input`; false, with why(), when it cannot start.
  bool Start(const std::vector<std::string>& arguments, bool input = true);
  const std::string& why() const { return why_; }
  // Writes to its standard input; false once it reads no more (never a
  // signal), or once the monitor is stopping, however slowly it reads.
  bool Write(const void* bytes, size_t size);
  // Ends its input and waits for it; true when it exited with status 0.
  bool Finish();
  // Ends it, if it runs, and what it started, and waits for it to be gone:
  // at once, or a Linux process group of its own asked first (SIGTERM),
  // what is left of it made to (SIGKILL) after kEndGrace.
  void Kill();
  // Whether it has ended, without waiting; its exit status then in `status`
  // (on Linux 128 + the signal that ended it).
  bool Ended(int& status);

 private:
  intptr_t input_ = -1;    // our end of its standard input: a descriptor, or a HANDLE
  intptr_t process_ = -1;  // its pid, or its HANDLE
  intptr_t group_ = 0;     // what ends with it: its process group's id, or a job's HANDLE; 0: itself alone
  std::string why_;
};

#ifdef _WIN32
// The command line that CommandLineToArgvW, and the C runtime, split into
// `arguments` again: the program's path quoted, then each argument as it
// is when it needs no quotes, else quoted with its quotes and the
// backslashes before them escaped.
std::wstring CommandLine(const std::vector<std::wstring>& arguments);
#else
// Ends every program started here that still runs, with its process group,
// at once and without waiting: for a monitor about to end without cleaning
// up. (On Windows their jobs end them as the monitor ends.)
void EndProgramsNow();
#endif

bool ErrorsToTerminal();
