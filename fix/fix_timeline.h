// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <ctime>

// The last hour of the fix, one sample a second: satellites used and HDOP.

constexpr int kTimelineSeconds = 3600;

struct FixSample {
  std::time_t when = 0;
  int used = -1;     // -1 unknown
  double hdop = -1;  // -1 unknown
  int quality = 0;
};

struct FixTimeline {
  FixSample samples[kTimelineSeconds];
  int count = 0;
  int next = 0;
};

// One sample for the second `sample.when`; a second sampled already is replaced.
void AddFixSample(FixTimeline& timeline, const FixSample& sample);
const FixSample& TimelineAt(const FixTimeline& timeline, int index);  // 0: the oldest
