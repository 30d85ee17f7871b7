// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <ctime>

// The local time of day of `when`, safe to call from any thread. false when the platform
// cannot tell it.
bool LocalTime(std::time_t when, std::tm& out);
// The same in UTC.
bool UtcTime(std::time_t when, std::tm& out);

// The local time of day of `when` as "HH:MM:SS" ("--:--:--" when it cannot be told);
// `out` holds 9 characters.
void TimeOfDayText(std::time_t when, char* out, int size);

// Whether year, month and day name a day of the calendar (no 31 April, no 29 February
// 2025), and the UTC seconds since 1970 of that day's hour:minute:second. Pure arithmetic:
// no time zone, no library's mktime, any year.
bool ValidCivilDate(int year, int month, int day);
int64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second);
