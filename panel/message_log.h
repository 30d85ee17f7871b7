// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <ctime>

#include "base/tick.h"
#include "panel/status_text.h"

// What the message field has shown, so that a text that went by can be read again, and
// the rule for when the poll's clock may take the field over. No window system here.

struct MessageEntry {
  std::time_t at = 0;  // when it was last shown
  int kind = 0;        // a StatusKind
  int repeats = 0;     // how many times more it came right after itself
  char text[kStatusLineWidth + 1] = {};
};

// The last kMessageLogSize texts, oldest first; a text that comes again as one of the last
// two only counts up, so that a fault that repeats (alone, or with the message that goes
// with it each time) does not push everything else out.
constexpr int kMessageLogSize = 200;

struct MessageLog {
  MessageEntry entries[kMessageLogSize];
  int first = 0;  // index of the oldest entry
  int count = 0;
};

void AddMessage(MessageLog& log, const char* text, int kind, std::time_t at);
const MessageEntry& MessageAt(const MessageLog& log, int index);  // 0: the oldest

// What the message field shows now, as far as the clock is concerned.
struct MessageField {
  int kind = 0;
  Tick shownAt = 0;  // tick when it was shown
};

// How long a text keeps the field before the clock may show the time again: a progress
// text long enough to be read, a failure long enough to be noticed.
constexpr int kProgressHoldMs = 5000;
constexpr int kFailureHoldMs = 30000;

bool ClockMayReplace(const MessageField& field, Tick now);
