// SPDX-License-Identifier: BSD-2-Clause
#include <cstdio>

#include "base/local_time.h"

void TimeOfDayText(std::time_t when, char* out, int size) {
  std::tm local = {};
  if (!LocalTime(when, local) ||
      std::strftime(out, static_cast<size_t>(size), "%H:%M:%S", &local) == 0) {
    std::snprintf(out, static_cast<size_t>(size), "--:--:--");
  }
}
