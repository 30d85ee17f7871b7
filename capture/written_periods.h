// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>

#include "base/tick.h"

// The hours or days this run has written split files for, each with the wall clock's
// offset from the monotonic one at the time. Retention ages what this run wrote by the
// monotonic clock, which no one can set: a file that the run named after 1970-01-01 while
// the system clock still said so is as old as the run says, not 56 years.
//
// Periods that follow each other under one offset share a span; a span begins anew when
// the clock jumps. The worker notes, any thread reads, under the short lock.

struct WrittenSpan {
  int64_t first = 0, last = 0;  // the first and last period's start, UTC seconds
  int64_t wallMinusTickMs = 0;  // the wall clock less the monotonic one, in ms
};

constexpr int kMaxWrittenSpans = 64;
constexpr int64_t kSameOffsetMs = 60000;  // a smaller step is not a jump of the clock

struct WrittenPeriods {
  std::mutex lock;
  WrittenSpan spans[kMaxWrittenSpans];
  int count = 0;
  bool full = false;  // more jumps than spans: what came after is not known exactly
};

// A split file for the period starting at `start` (`split` seconds long) was opened at
// the wall time `wall` and the tick `tick`.
void NoteWrittenPeriod(WrittenPeriods& periods, int64_t start, int split, std::time_t wall,
                       Tick tick);

// Whether this run wrote the period starting at `start`, and if so the tick at which it
// ended by the clocks of the time (`endTick`).
enum WrittenByRun { kNotWrittenByRun, kWrittenByRun, kMaybeWrittenByRun };
WrittenByRun PeriodWrittenByRun(WrittenPeriods& periods, int64_t start, int split, Tick& endTick);
