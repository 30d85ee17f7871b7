// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include "base/wake_signal.h"

// What tarnex-log asks of the system it runs on, one file per platform
// (log_system_posix.cpp, log_system_win32.cpp).

// SIGINT and SIGTERM (on Windows Ctrl+C, Ctrl+Break, and the console's close, a logoff or
// a shutdown) call `onStop` wherever the system delivers them: it may only set an atomic
// flag and raise a wake signal. A closed terminal (SIGHUP) or a closed output (SIGPIPE)
// ends nothing: the writes to the output fail, and only the output ends.
void CatchStopRequests(void (*onStop)());

// Called once the logger has stopped and every item is on disk: a Windows console that is
// being closed waits for it (a little while) before it ends the process.
void StopRequestsHandled();

// Standard output is a terminal (a console): the live status line goes there, drawn with
// "\r\033[K".
bool OutputIsTerminal();
int TerminalColumns();  // 80 when it cannot be told

// Whether dump files can be made in `folder` ("": the current one); false with `error` (an
// errno value) set when not.
bool FolderWritable(const char* folder, int& error);

// Waits until `wake` is raised or `ms` have passed (-1: for ever). false when the wait
// itself failed.
bool WaitForWake(const WakeSignal& wake, int ms);

// Whether the system's time service (NTP) says the clock is right; false when it does not,
// or when the system cannot tell.
bool ClockSynchronized();
