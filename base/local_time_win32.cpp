// SPDX-License-Identifier: BSD-2-Clause
#include "base/local_time.h"

bool LocalTime(std::time_t when, std::tm& out) {
  return localtime_s(&out, &when) == 0;
}

bool UtcTime(std::time_t when, std::tm& out) {
  return gmtime_s(&out, &when) == 0;
}
