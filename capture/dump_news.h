// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include "base/status_message.h"

// What the dump files have to tell, as status news with its data (StatusEvent), and the
// words every front end uses unless it has its own.

enum DumpNews {
  kDumpFileKept = 1,  // path: the earlier file; other: the name it is kept under
  kDumpKeepFailed,    // path, error: the period writes on at the earlier file's end
  kDumpWriteFailing,  // path, error, other: what failed ("open", "write", "repair"); from
                      // now on its items are counted as lost
  kDumpWritingAgain,  // path, items, bytes, from, to: the spell of losses has ended
  kDumpFileRemoved,   // path, items, bytes, from: what was written since then went too
  kDumpFileMoved,     // path: moved away with what was in it; written anew
  kDumpSyncFailed,    // path, error
  kDumpFileClosed,    // path, bytes: a split file whose hour or day is over
};

// News of a dump file at `path`, for the front ends to word.
StatusEvent DumpEvent(int news, int kind, const char* path);

// The words for any status news: a text as it stands, the dump files' news as above.
void StatusEventText(const StatusEvent& event, char* out, int size);

// "12 items (3.4 kB)"
void AmountText(unsigned long items, unsigned long long bytes, char* out, int size);
