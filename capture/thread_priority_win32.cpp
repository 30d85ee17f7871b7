// SPDX-License-Identifier: BSD-2-Clause
#include <windows.h>

#include "base/trace.h"
#include "capture/thread_priority.h"

void LowerThreadPriority() {
  if (!SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST)) {
    Trace("lowering the receive worker's priority failed: %lu", GetLastError());
  }
}
