// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// What tarnex-log tells Prometheus, in its text exposition format (version 0.0.4): the
// logger's state as one scrape sees it, in base units (bytes, seconds).

struct MetricsView {
  bool connected = false;
  const char* product = "";   // "" until the receiver has been identified
  const char* firmware = "";  // the identification's VERSION; "" when it has none
  const char* device = "";
  uint32_t baud = 0;
  unsigned long items[4] = {};  // posn, obsd, corr, nmea
  unsigned long long bytes[4] = {};
  unsigned long lost[4] = {};
  unsigned long sentencesDropped[3] = {};  // by reason: no checksum, a wrong one, too long
  long long fileBytes[4] = {};             // the length of each stream's current file
  double lastItemAgeSeconds = 0;           // since the last item, or since the start before any
  unsigned long reconnects = 0;
  long long freeBytes = -1;  // on the folder's file system; -1: not known
  bool freeLow = false;      // below --min-free
  bool fixKnown = false;     // the receiver's sentences have told a fix
  int fixQuality = 0;        // GGA's: 0 none, 1 GPS, 2 DGPS, 4 RTK fixed, 5 float...
  int satellitesUsed = -1;   // -1, and below: not told
  double hdop = -1;
  // With --share or --nmea-out.
  bool sharing = false;
  int clientsAttached = 0;
  unsigned long keysForwarded = 0;
  unsigned long keysRefused = 0;
  unsigned long clientsDropped = 0;
};

// The logger's room for the whole text, every metric present.
constexpr int kMetricsTextSize = 8192;

// The whole text. Labels are escaped as the format asks. Returns the length, or -1 when
// `size` is too small.
int MetricsText(const MetricsView& view, char* out, int size);
