// SPDX-License-Identifier: BSD-2-Clause
#include "fix/fix_timeline.h"

void AddFixSample(FixTimeline& timeline, const FixSample& sample) {
  if (timeline.count > 0) {
    int last = (timeline.next + kTimelineSeconds - 1) % kTimelineSeconds;
    if (timeline.samples[last].when == sample.when) {
      timeline.samples[last] = sample;
      return;
    }
  }
  timeline.samples[timeline.next] = sample;
  timeline.next = (timeline.next + 1) % kTimelineSeconds;
  if (timeline.count < kTimelineSeconds) ++timeline.count;
}

const FixSample& TimelineAt(const FixTimeline& timeline, int index) {
  int oldest = timeline.count < kTimelineSeconds ? 0 : timeline.next;
  return timeline.samples[(oldest + index) % kTimelineSeconds];
}
