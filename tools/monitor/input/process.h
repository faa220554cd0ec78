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
// monitor's.
class ChildProcess {
 public:
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
  // Ends it at once, if it runs, and waits for it to be gone.
  void Kill();
  // Whether it has ended, without waiting; its exit status then in `status`
  // (on Linux 128 + the signal that ended it).
  bool Ended(int& status);

 private:
  intptr_t input_ = -1;    // our end of its standard input: a descriptor, or a HANDLE
  intptr_t process_ = -1;  // its pid, or its HANDLE
  std::string why_;
};

#ifdef _WIN32
// The command line that CommandLineToArgvW, and the C runtime, split into
// `arguments` again: the program's path quoted, then each argument as it
// is when it needs no quotes, else quoted with its quotes and the
// backslashes before them escaped.
std::wstring CommandLine(const std::vector<std::wstring>& arguments);
#endif

bool ErrorsToTerminal();
