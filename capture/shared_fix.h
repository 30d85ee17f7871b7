// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <mutex>

#include "fix/fix_state.h"

// The fix as the receiver's sentences tell it. The worker applies each valid sentence and
// any thread copies the whole, both under the lock, so that a copy never mixes two fixes.
struct SharedFix {
  std::mutex lock;
  FixState fix;
};

void ApplyToSharedFix(SharedFix& shared, const char* sentence, Tick nowMs);

// A copy with the satellites not reported lately taken out.
FixState CopySharedFix(SharedFix& shared, Tick nowMs);

// Another receiver: its fix starts afresh, under a new generation, so that nothing of the
// last one's is mixed into it (nor into the pictures drawn from it).
void ResetSharedFix(SharedFix& shared);
