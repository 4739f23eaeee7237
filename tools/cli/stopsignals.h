#pragma once

// SIGINT and SIGTERM during `run`: the handler only notes the signal and writes a byte into a
// pipe, which whoever runs the cases watches (an event loop, or a thread beside the benches),
// so that a run always ends through its runner's Stop and writes its reports.

#include <string>

namespace tallyhost::cli {

// Installs the handler; false when the pipe or the handler cannot be had.
bool CatchStopSignals();

// The signal that came, 0 while none has.
int StopSignal();

// The pipe's reading end (non-blocking): readable once a signal came.
int StopSignalFd();

// Reads whatever the handler wrote, so that the pipe is not readable again for the same signal.
void DrainStopSignals();

// "interrupted by SIGINT" or "interrupted by SIGTERM".
std::string SignalCause(int number);

// The shell's convention for a run ended by a signal: 128 + its number (130 for Ctrl+C).
inline constexpr int ExitSignalBase = 128;

} // namespace tallyhost::cli
