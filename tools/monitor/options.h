// The monitor's command line: what it is asked to do, read and checked in
// one place, each mistake said in one line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/compare.h"
#include "export/export.h"
#include "input/exit_status.h"

struct Options {
  bool json = false;
  bool hex = false;
  int64_t count = 0;  // 0: no limit
  bool view = false;
  std::string address = "127.0.0.1";
  uint16_t port = 8765;
  std::string images = ".";
  std::string record;
  std::string replay;
  bool pace = false;
  ExportOptions exporting;
  bool exports = false;
  CompareOptions comparing;
  bool compares = false;
  std::vector<std::string> program;  // run while serving, after --
};

// Reads argv into `options`. Returns -1 to go on, or the status to exit
// with at once: 0 after printing the usage for --help, 2 after one line on
// standard error saying what was wrong.
int ReadOptions(int argc, char** argv, Options& options);
