// Interrupts that end a run between files instead of in the middle of one: Ctrl+C, SIGTERM and
// SIGHUP on POSIX systems; the console's Ctrl+C, Ctrl+Break and close events on Windows.
// One header, two implementations chosen at build time (interrupts_posix.cpp, interrupts_win32.cpp).
#pragma once

namespace scourvane::platform
{

// From now on an interrupt only sets a flag (see interruptStatus) and the process goes on, so the
// file in hand is finished and the report written. Call once, early, from the main thread.
void catchInterrupts();

// 0 while no interrupt has come; then the exit status it calls for: 130 for Ctrl+C (and Ctrl+Break),
// 143 for SIGTERM, 129 for SIGHUP or a closed console window.
int interruptStatus();

} // namespace scourvane::platform
