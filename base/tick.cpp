// SPDX-License-Identifier: BSD-2-Clause
#include "base/tick.h"

#include <chrono>
#include <cstdint>

Tick TickCount() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Tick SetDeadline(Deadline& deadline, double seconds) {
  return SetDeadlineFrom(deadline, TickCount(), seconds);
}

Tick SetDeadlineFrom(Deadline& deadline, Tick now, double seconds) {
  deadline.at = now + static_cast<Tick>(seconds * 1000.0);
  return deadline.at;
}

bool DeadlinePassedAt(const Deadline& deadline, Tick now) {
  return now > deadline.at;
}

bool DeadlinePassed(const Deadline& deadline) {
  return DeadlinePassedAt(deadline, TickCount());
}

int DeadlineRemainingMs(const Deadline& deadline) {
  return MsUntil(deadline.at, TickCount());
}

int MsUntil(Tick at, Tick now) {
  Tick left = at - now;
  if (left <= 0) return 0;
  return left > INT32_MAX ? INT32_MAX : static_cast<int>(left);
}
