// SPDX-License-Identifier: BSD-2-Clause
#include "log/log_report.h"

#include <cstdio>
#include <cstring>

#include "link/local_time.h"

namespace {

const char* const kStreamNames[4] = {"posn", "obsd", "corr", "nmea"};
const char* const kStateNames[] = {"connecting", "logging", "LOST", "waiting for the receiver"};

// Appends formatted text, never past the end.
template <typename... Args>
void Append(char* out, int size, int& used, const char* format, Args... args) {
  if (used >= size - 1) return;
  int n = std::snprintf(out + used, static_cast<size_t>(size - used), format, args...);
  if (n > 0) used = used + n < size - 1 ? used + n : size - 1;
}

}  // namespace

void ByteCountText(unsigned long long bytes, char* out, int size) {
  if (bytes < 1000) {
    std::snprintf(out, static_cast<size_t>(size), "%llu B", bytes);
  } else if (bytes < 1000000) {
    std::snprintf(out, static_cast<size_t>(size), "%.1f kB", static_cast<double>(bytes) / 1e3);
  } else if (bytes < 1000000000) {
    std::snprintf(out, static_cast<size_t>(size), "%.1f MB", static_cast<double>(bytes) / 1e6);
  } else {
    std::snprintf(out, static_cast<size_t>(size), "%.2f GB", static_cast<double>(bytes) / 1e9);
  }
}

void LogStatusLine(const LogView& view, char* out, int size) {
  int used = 0;
  out[0] = '\0';
  Append(out, size, used, "%s", kStateNames[view.state]);
  if (view.product[0] != '\0') Append(out, size, used, " %s %u baud", view.product, view.baud);
  Append(out, size, used, " |");
  for (int i = 0; i < 4; ++i) {
    Append(out, size, used, " %s %lu", kStreamNames[i], view.items[i]);
    if (view.items[i] == 0) continue;
    char amount[24];
    ByteCountText(view.bytes[i], amount, sizeof amount);
    Append(out, size, used, " (%s)", amount);
  }
  if (view.msSinceLastItem >= 0) {
    Append(out, size, used, " | last item %.1f s ago",
           static_cast<double>(view.msSinceLastItem) / 1000.0);
  }
  if (view.reconnects > 0) Append(out, size, used, " | reconnects %d", view.reconnects);
}

void LogEventLine(std::time_t when, const char* text, char* out, int size) {
  std::tm local = {};
  if (!LocalTime(when, local)) {
    std::snprintf(out, static_cast<size_t>(size), "%s", text);
    return;
  }
  std::snprintf(out, static_cast<size_t>(size), "%04d-%02d-%02d %02d:%02d:%02d %s",
                1900 + local.tm_year, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, text);
}
