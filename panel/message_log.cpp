// SPDX-License-Identifier: BSD-2-Clause
#include "panel/message_log.h"

#include <cstdio>
#include <cstring>

#include "base/local_time.h"
#include "base/status_message.h"

void AddMessage(MessageLog& log, const char* text, int kind, std::time_t at) {
  // A try that fails again says the same one or two things each time (the system's
  // reason, then what could not be done): those count up instead of adding lines.
  for (int back = 1; back <= 2 && back <= log.count; ++back) {
    MessageEntry& earlier = log.entries[(log.first + log.count - back) % kMessageLogSize];
    if (std::strncmp(earlier.text, text, kStatusLineWidth) == 0) {
      ++earlier.repeats;
      earlier.at = at;
      return;
    }
  }
  int slot = (log.first + log.count) % kMessageLogSize;
  if (log.count == kMessageLogSize) {
    log.first = (log.first + 1) % kMessageLogSize;  // the oldest gives way
  } else {
    ++log.count;
  }
  MessageEntry& entry = log.entries[slot];
  entry.at = at;
  entry.kind = kind;
  entry.repeats = 0;
  std::snprintf(entry.text, sizeof entry.text, "%s", text);
}

const MessageEntry& MessageAt(const MessageLog& log, int index) {
  return log.entries[(log.first + index) % kMessageLogSize];
}

bool ClockMayReplace(const MessageField& field, Tick now) {
  Tick age = now - field.shownAt;
  switch (field.kind) {
    case kStatusProgress:
      return age >= kProgressHoldMs;
    case kStatusFailure:
      return age >= kFailureHoldMs;
    default:
      return true;
  }
}
