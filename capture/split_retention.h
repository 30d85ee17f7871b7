// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <ctime>

// Retention of split dump files: those whose hour or day ended more than `keepSeconds`
// ago are deleted. Only this program's own names are looked at (DIR/YYYY/DDD/ and
// posn|obsd|corr|nmea-YYYYMMDD[-HH].dmp within); any other file, and any folder that
// still holds one, stays. Each deletion is said through `said` ("Deleted DIR/... (older
// than 30 days)"), each failure as well. Returns how many files were deleted.
int PruneSplitFiles(const char* directory, int split, int64_t keepSeconds, std::time_t now,
                    void (*said)(void* context, const char* text, bool failure), void* context);
