// What the export needs of the operating system: a program to write to,
// found on the path, and whether standard error is a terminal.
#pragma once

#include <cstdio>
#include <string>

// Whether a program named `name` is on the path.
bool OnPath(const std::string& name);
// Runs `command` through the shell with its standard input to write to
// (binary); nullptr when it cannot start. A program that stops reading
// makes writes fail instead of ending the monitor.
std::FILE* OpenCommand(const std::string& command);
// Waits for it; true when it succeeded.
bool CloseCommand(std::FILE* command);
bool ErrorsToTerminal();
