// SPDX-License-Identifier: BSD-2-Clause
#include "capture/logging_switch.h"

void SetLogging(LoggingSwitch& logging, int on) {
  unsigned state = logging.state.load();
  unsigned next;
  do {
    bool wasOn = (state & 1u) != 0;
    unsigned period = state >> 1;
    if (on && !wasOn) ++period;
    next = (period << 1) | (on ? 1u : 0u);
  } while (!logging.state.compare_exchange_weak(state, next));
}

int LoggingOn(const LoggingSwitch& logging) {
  return (logging.state.load() & 1u) ? 1 : 0;
}
