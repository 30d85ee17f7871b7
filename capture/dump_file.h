// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstddef>
#include <ctime>

#include "capture/dump_slot.h"
#include "capture/dump_streams.h"

// A dump file's life: opened when its stream's first item of a logging period (or of its
// hour or day) arrives, handed to the disk at least once a second, looked for in its place
// now and then, and closed when logging goes off or its hour or day is over.
//
// Within a period every connection writes on at the end of the same files; the first item
// of a new period starts its file afresh, and a file that already holds data is first kept
// under a name that says when it was last written (posn-20261207-101530.dmp). No log is
// ever emptied.

// Files split by the hour or the day (UTC, as GNSS archives count): at each boundary the
// stream's file is closed and the next item begins a new one, named by the time it holds:
// DIR/YYYY/DDD/posn-YYYYMMDD-HH.dmp (hour) or DIR/YYYY/DDD/posn-YYYYMMDD.dmp (day), so that
// the files sort by time and a day's files share a folder, by year and day of the year.
enum DumpSplit { kNoSplit = 0, kSplitHour = 3600, kSplitDay = 86400 };

// The file for what arrives `now`, open: one of an earlier period, hour or day is closed
// first, and one that is no longer in its place is made anew. 0 or the error of opening.
int ReadyDump(const char* directory, DumpStreamId stream, unsigned period, DumpSlot& slot,
              const DumpClock& now, int split);

// The name of a split file below the dump directory, as described above.
void SplitDumpName(const char* baseName, std::time_t start, int split, char* out, size_t size);

// Hands the file's new items to the disk once they are a second old (at once with
// `force`). True while some wait for it.
bool SyncDump(DumpSlot& slot, const DumpClock& now, bool force);

// Syncs and closes the stream's file.
void CloseDump(DumpSlot& slot);
