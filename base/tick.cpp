// SPDX-License-Identifier: BSD-2-Clause
#include "base/tick.h"

#include <chrono>

uint32_t TickCount() {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(ms);
}

uint32_t SetDeadline(Deadline& deadline, double seconds) {
  return SetDeadlineFrom(deadline, TickCount(), seconds);
}

uint32_t SetDeadlineFrom(Deadline& deadline, uint32_t now, double seconds) {
  double at = static_cast<double>(now) + seconds * 1000.0;
  deadline.at = static_cast<uint32_t>(static_cast<int64_t>(at));
  return deadline.at;
}

bool DeadlinePassedAt(const Deadline& deadline, uint32_t now) {
  return static_cast<int32_t>(now - deadline.at) > 0;
}

bool DeadlinePassed(const Deadline& deadline) {
  return DeadlinePassedAt(deadline, TickCount());
}

int DeadlineRemainingMs(const Deadline& deadline) {
  int32_t left = static_cast<int32_t>(deadline.at - TickCount());
  return left > 0 ? left : 0;
}
