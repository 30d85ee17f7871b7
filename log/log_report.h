// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <ctime>

#include "capture/dump_streams.h"

// What tarnex-log shows: on a terminal one live status line, and a line per event with its
// time for a service manager's journal.

enum LogLinkState { kLogConnecting, kLogLogging, kLogLost, kLogWaiting };

struct LogView {
  int state = kLogConnecting;
  const char* product = "";  // the receiver, once identified
  uint32_t baud = 0;
  unsigned long items[4] = {};  // posn, obsd, corr, nmea
  unsigned long long bytes[4] = {};
  unsigned long lost[4] = {};          // items that could not be written
  unsigned long sentencesDropped = 0;  // NMEA sentences that were not valid: not logged
  int64_t msSinceLastItem = -1;        // -1: no item yet
  int reconnects = 0;
  const char* fix = "";  // "fix RTK-fixed 18 sv HDOP 0.6"; "" while no sentence told it
  bool freeLow = false;  // below --min-free
  long long freeBytes = -1;
};

// "logging MORWICK 38400 baud | fix RTK-fixed 18 sv HDOP 0.6 | posn 12 (3.4 kB) obsd 0
// corr 0 nmea 340 (25.1 kB) | last item 0.4 s ago | reconnects 1". Under `columns` (0: no
// limit) whole fields go, the least telling first (the sizes, the baud rate, the
// reconnects, the product, the fix, streams without items, the last item's age), so that
// the counts, what was LOST and DISK LOW stay; nothing is cut in the middle of a word.
// The baud rate is shown only while logging: a lost receiver has none.
void LogStatusLine(const LogView& view, int columns, char* out, int size);

// What one stream lost in the whole run, for the last line.
struct StreamLoss {
  unsigned long items = 0;
  unsigned long long bytes = 0;
  std::time_t first = 0, last = 0;
  unsigned failures = 0;  // failures said, losses or not
};

// "stopped; every item is on disk" only when it is so; else what was lost, per stream,
// and when. True when nothing was lost. The sentences the receiver sent that were not
// valid NMEA (by reason: no checksum, a wrong one, too long) are said too: the log could
// not hold them, though nothing valid was lost.
bool LogStopLine(const StreamLoss losses[4], const unsigned long sentencesDropped[3], char* out,
                 int size);

// "2026-12-07 15:40:01 <text>", in local time.
void LogEventLine(std::time_t when, const char* text, char* out, int size);
