// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include "base/wake_signal.h"

// For the Linux files only: a wait on a descriptor that also ends on a stop signal.

constexpr int kPollStopped = -2;

// Waits for `events` on fd or for `stop` (null: none). fd's revents when it is ready; 0
// when the time ran out (-1: no limit); kPollStopped; -1 when poll itself failed.
int PollWithStop(int fd, const StopSignal* stop, short events, int timeoutMs);
