// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <ctime>

// The time_t of a local date and time, for tests of texts that show one.
inline std::time_t LocalTimeAt(int year, int month, int day, int hour, int minute, int second) {
  std::tm local = {};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return std::mktime(&local);
}
