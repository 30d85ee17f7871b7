// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <ctime>

// What tarnex-log shows: on a terminal one live status line, and a line per event with its
// time for a service manager's journal.

enum LogLinkState { kLogConnecting, kLogLogging, kLogLost, kLogWaiting };

struct LogView {
  int state = kLogConnecting;
  const char* product = "";  // the receiver, once identified
  uint32_t baud = 0;
  unsigned long items[4] = {};  // posn, obsd, corr, nmea
  unsigned long long bytes[4] = {};
  long msSinceLastItem = -1;  // -1: no item yet
  int reconnects = 0;
};

// "logging MORWICK 38400 baud | posn 12 (3.4 kB) obsd 0 corr 0 nmea 340 (25.1 kB) |
// last item 0.4 s ago | reconnects 1"
void LogStatusLine(const LogView& view, char* out, int size);

// "2026-12-07 15:40:01 <text>", in local time.
void LogEventLine(std::time_t when, const char* text, char* out, int size);

// "3.4 kB": bytes in the unit that keeps the number short.
void ByteCountText(unsigned long long bytes, char* out, int size);
