// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <atomic>

// Whether logging is on, and which logging period it is in, read together once per item.
// Bit 0: on; the bits above count the periods (the first is 1). A logging period is what
// the user switches on and off.
struct LoggingSwitch {
  std::atomic<unsigned> state{0};
};

void SetLogging(LoggingSwitch& logging, int on);
int LoggingOn(const LoggingSwitch& logging);
