// SPDX-License-Identifier: BSD-2-Clause
#include "capture/written_periods.h"

void NoteWrittenPeriod(WrittenPeriods& periods, int64_t start, int split, std::time_t wall,
                       Tick tick) {
  int64_t offset = static_cast<int64_t>(wall) * 1000 - tick;
  std::lock_guard<std::mutex> hold(periods.lock);
  for (int i = 0; i < periods.count; ++i) {
    WrittenSpan& span = periods.spans[i];
    int64_t drift = offset - span.wallMinusTickMs;
    if (drift <= -kSameOffsetMs || drift >= kSameOffsetMs) continue;
    if (start >= span.first && start <= span.last) return;
    if (start == span.last + split) {
      span.last = start;
      return;
    }
  }
  if (periods.count == kMaxWrittenSpans) {
    periods.full = true;
    return;
  }
  periods.spans[periods.count++] = WrittenSpan{start, start, offset};
}

WrittenByRun PeriodWrittenByRun(WrittenPeriods& periods, int64_t start, int split, Tick& endTick) {
  std::lock_guard<std::mutex> hold(periods.lock);
  bool written = false;
  for (int i = 0; i < periods.count; ++i) {  // written again later: the later end counts
    const WrittenSpan& span = periods.spans[i];
    if (start < span.first || start > span.last) continue;
    Tick end = (start + split) * 1000 - span.wallMinusTickMs;
    if (!written || end > endTick) endTick = end;
    written = true;
  }
  if (written) return kWrittenByRun;
  return periods.full ? kMaybeWrittenByRun : kNotWrittenByRun;
}
