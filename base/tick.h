// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// A 32-bit millisecond tick count and the link's one-shot deadline on it.

struct Deadline {
  uint32_t at = 0;
};

uint32_t TickCount();

// Arms the deadline `seconds` from now and returns its value.
uint32_t SetDeadline(Deadline& deadline, double seconds);
uint32_t SetDeadlineFrom(Deadline& deadline, uint32_t now, double seconds);

// Whether the deadline has passed: not before it nor at its exact tick. The comparison
// survives the wrap of the 32-bit counter.
bool DeadlinePassed(const Deadline& deadline);
bool DeadlinePassedAt(const Deadline& deadline, uint32_t now);

// Milliseconds left until the deadline passes, 0 if it has.
int DeadlineRemainingMs(const Deadline& deadline);
