// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <ctime>

// The local time of day of `when`, safe to call from any thread. false when the platform
// cannot tell it.
bool LocalTime(std::time_t when, std::tm& out);
// The same in UTC.
bool UtcTime(std::time_t when, std::tm& out);

// The local time of day of `when` as "HH:MM:SS" ("--:--:--" when it cannot be told);
// `out` holds 9 characters.
void TimeOfDayText(std::time_t when, char* out, int size);
