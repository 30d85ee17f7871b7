// SPDX-License-Identifier: BSD-2-Clause
#include "capture/shared_fix.h"

void ApplyToSharedFix(SharedFix& shared, const char* sentence, Tick nowMs) {
  std::lock_guard<std::mutex> hold(shared.lock);
  ApplySentence(shared.fix, sentence, nowMs);
}

void ResetSharedFix(SharedFix& shared) {
  std::lock_guard<std::mutex> hold(shared.lock);
  unsigned generation = shared.fix.generation;
  shared.fix = FixState();
  shared.fix.generation = generation + 1;
}

FixState CopySharedFix(SharedFix& shared, Tick nowMs) {
  std::lock_guard<std::mutex> hold(shared.lock);
  AgeSatellites(shared.fix, nowMs);
  return shared.fix;
}
