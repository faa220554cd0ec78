// The user asking the monitor to stop: Ctrl-C and SIGTERM, and on Windows
// also Ctrl-Break and the console closing. One flag for the whole monitor;
// every loop and every wait that can last looks at it, so that the monitor
// ends within a second whatever it is doing.
#pragma once

// Catches the signals (or console events) from now on; on Linux a write to
// a pipe without a reader then fails instead of ending the monitor
// (SIGPIPE ignored), and a standard descriptor the monitor was started
// without is taken by /dev/null, as unusable as closed, so that nothing of
// its own takes its place. Should the monitor still run kStopGrace after a stop was asked for
// (one costly step that does not look, such as encoding a huge picture), it
// is ended then, with a line saying so; the session being recorded is
// complete by then.
void CatchStop();
constexpr long kStopGrace = 800;  // milliseconds
// Whether a stop was asked for. Lock-free: any thread may ask, as often as it likes.
bool Stopping();
// Asks for a stop, as the user would.
void RequestStop();
// Waits until a stop is asked for, or `milliseconds` have passed; true when stopping.
bool WaitForStop(long milliseconds);

// Linux: a descriptor that becomes readable once a stop is asked for, to poll beside others.
int StopDescriptor();
// Windows: an event set once a stop is asked for, to wait for beside others.
void* StopEvent();
