// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// Time as the program keeps it for deadlines, periods and ages: milliseconds on the
// monotonic clock, in 64 bits, so that nothing it times runs out in a run of years
// (a 32-bit count wraps after 49.7 days, and its signed differences after 24.8).

using Tick = int64_t;

struct Deadline {
  Tick at = 0;
};

Tick TickCount();

// Arms the deadline `seconds` from now and returns its value.
Tick SetDeadline(Deadline& deadline, double seconds);
Tick SetDeadlineFrom(Deadline& deadline, Tick now, double seconds);

// Whether the deadline has passed: not before it nor at its exact tick.
bool DeadlinePassed(const Deadline& deadline);
bool DeadlinePassedAt(const Deadline& deadline, Tick now);

// Milliseconds left until the deadline passes, 0 if it has.
int DeadlineRemainingMs(const Deadline& deadline);

// Milliseconds from `now` until `at`: 0 when it has come, and at most what a wait of the
// system takes in one go (INT32_MAX, 24.8 days): a longer wait is waited again.
int MsUntil(Tick at, Tick now);
