// SPDX-License-Identifier: BSD-2-Clause
#include "panel/screen_history.h"

#include <cstdio>

#include "base/local_time.h"
#include "panel/screen_render.h"

void AddToHistory(ScreenHistory& history, const ScreenImage& image, std::time_t when,
                  int milliseconds) {
  if (!history.entries) history.entries = std::make_unique<HistoryEntry[]>(kHistorySize);
  HistoryEntry& entry = history.entries[history.next];
  entry.image = image;
  entry.when = when;
  entry.milliseconds = milliseconds;
  history.next = (history.next + 1) % kHistorySize;
  if (history.count < kHistorySize) ++history.count;
  ++history.total;
}

const HistoryEntry& HistoryAt(const ScreenHistory& history, int i) {
  int oldest = history.count < kHistorySize ? 0 : history.next;
  return history.entries[(oldest + i) % kHistorySize];
}

void ScreenText(const ScreenImage& image, bool withCursor, char* out) {
  int cursor = image.bytes[kScreenCells];
  char* at = out;
  for (int line = 0; line < kScreenLines; ++line) {
    for (int column = 0; column < kScreenColumns; ++column) {
      int cell = line * kScreenColumns + column;
      bool mark = withCursor && cell == cursor;
      *at++ = static_cast<char>(mark ? kCursorMark : TranslateLcdChar(image.bytes[cell]));
    }
    *at++ = '\n';
  }
  *at = '\0';
}

void HistoryTimeText(const HistoryEntry& entry, char* out, int size) {
  std::tm local = {};
  if (!LocalTime(entry.when, local)) {
    std::snprintf(out, static_cast<size_t>(size), "?");
    return;
  }
  std::snprintf(out, static_cast<size_t>(size), "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                local.tm_sec, entry.milliseconds);
}
