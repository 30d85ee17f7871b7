// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "base/wake_signal.h"

// For the Linux files only: waits on a descriptor that also end on a stop signal.

constexpr int kPollStopped = -2;

// Waits for `events` on fd or for `stop` (null: none). fd's revents when it is ready; 0
// when the time ran out (-1: no limit); kPollStopped; -1 when poll itself failed.
int PollWithStop(int fd, const StopSignal* stop, short events, int timeoutMs);

// Writes all n bytes to a non-blocking descriptor, waiting up to stallMs at a time for
// room, and not past a stop. A socket is written with send(2), so that a peer gone away
// ends the write instead of raising SIGPIPE. The bytes written; `what` names it in the trace.
int WriteAllPolled(int fd, const StopSignal* stop, const uint8_t* bytes, int n, int stallMs,
                   bool socket, const char* what);
