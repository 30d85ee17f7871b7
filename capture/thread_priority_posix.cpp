// SPDX-License-Identifier: BSD-2-Clause
#include <errno.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>

#include "base/trace.h"
#include "capture/thread_priority.h"

void LowerThreadPriority() {
  constexpr int kBelowNormal = 2;  // nice steps below the user interface
  int tid = static_cast<int>(gettid());
  errno = 0;
  int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (errno == 0) nice = nice + kBelowNormal > 19 ? 19 : nice + kBelowNormal;
  if (errno != 0 || setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0) {
    Trace("lowering the receive worker's priority failed: %s", std::strerror(errno));
  }
}
