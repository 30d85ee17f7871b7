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

bool ValidCivilDate(int year, int month, int day) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

int64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second) {
  // Days since 1970 by the civil calendar, counted from March so that February, with its
  // 29th, comes last in the year.
  int64_t y = year - (month <= 2 ? 1 : 0);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yearOfEra = y - era * 400;
  int64_t dayOfYear = (153 * ((month + 9) % 12) + 2) / 5 + day - 1;
  int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  int64_t days = era * 146097 + dayOfEra - 719468;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}
