// Serving the pipe name until the monitor is done, and under -- PROGRAM
// running the program that sends to it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "input/server.h"

// Serves the pipe name with `handlers` until one of them stops it or the
// user interrupts. Once the name is served, says so for scripts that wait
// for it and calls `handlers.ready`; with a `program` (its arguments) it
// starts that instead of saying so, and serving ends once it has ended and
// its connections are read. Then, before any message is read, calls
// `started` (not when the program cannot run).
// Returns 2, having said why, when the name cannot be served or the
// program cannot run. Else calls `served`, then returns 0, or the
// program's own status once it has ended: stopped by a handler, it is left
// to finish; interrupted, it is ended, said, and 2 returned.
int ServeAndRun(ServeHandlers handlers, const std::vector<std::string>& program, const std::function<void()>& started,
                const std::function<void()>& served);
