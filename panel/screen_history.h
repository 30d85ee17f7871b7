// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>

#include "capture/shared_screen.h"

// The screens received during the run, with their times: the last kHistorySize of them,
// about 1.7 MB, held once the first screen comes.

constexpr int kHistorySize = 10000;

struct HistoryEntry {
  ScreenImage image;     // as received, in the receiver's display codes
  std::time_t when = 0;  // wall-clock second
  int milliseconds = 0;  // within that second
};

struct ScreenHistory {
  std::unique_ptr<HistoryEntry[]> entries;
  int count = 0;            // held, at most kHistorySize
  int next = 0;             // where the next one goes
  unsigned long total = 0;  // received in all
};

void AddToHistory(ScreenHistory& history, const ScreenImage& image, std::time_t when,
                  int milliseconds);
// The i-th screen held, 0 the oldest.
const HistoryEntry& HistoryAt(const ScreenHistory& history, int i);

// The screen as text, as the display draws it: four lines of 40 characters in code page
// 1252 after the display's translation, each ended by a line feed (164 bytes and a zero).
// With `withCursor`, the cursor's cell shows the cursor mark.
constexpr int kScreenTextSize = kScreenLines * (kScreenColumns + 1) + 1;
void ScreenText(const ScreenImage& image, bool withCursor, char* out);

// "16:31:20.123", local time.
void HistoryTimeText(const HistoryEntry& entry, char* out, int size);
