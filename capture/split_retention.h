// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "base/tick.h"
#include "capture/written_periods.h"

// Retention of split dump files (--keep): a file goes once its hour or day ended longer
// ago than the time kept. Deleting logged data is for ever, and a clock can lie (a station
// without a real-time clock starts in 1970 until NTP answers; someone sets it by hand;
// a laptop wakes), so a file's age is never taken from the system clock's word alone:
//
// - A file this run wrote is aged by the run's own monotonic clock, whatever the wall
//   clock said when the file was named.
// - An earlier file must be old by its name and by its own last write, and no younger
//   than this run's first file.
// - Nothing at all is deleted while the clock is in doubt: when it says a time before this
//   program existed, jumped within the last minutes, disagrees with the receiver's own
//   time, or lies before the newest earlier file; nor, unless the receiver's time or the
//   system's time service vouches for the clock, when every earlier file would go at once.
//
// Only this program's own names are looked at (DIR/YYYY/DDD/posn|obsd|corr|nmea-YYYYMMDD
// [-HH].dmp, a valid date in the folder of that date), only real folders and regular
// files inside the log folder: no symbolic link is followed. Each deletion is said; a
// failure is said once, not again at every look while it lasts; a doubt is said once with
// its reason, and its end.

// One look's view of the clocks, passed in.
struct RetentionClock {
  std::time_t wall = 0;             // the system clock
  Tick tick = 0;                    // the monotonic one
  bool receiverKnown = false;       // the receiver told its own UTC time lately:
  int64_t receiverUtc = 0;          // what it is now by that
  bool systemSynchronized = false;  // the system's time service says the clock is right
};

// What retention keeps from one look to the next.
struct Retention {
  const char* directory = "";  // "" for the current one
  int split = 0;               // seconds a file holds: 3600 or 86400
  int64_t keepSeconds = 0;
  WrittenPeriods* written = nullptr;  // this run's split files; null: none
  void (*said)(void* context, const char* text, bool failure) = nullptr;
  void* context = nullptr;

  bool looked = false;  // the clocks as last seen, to tell a jump
  std::time_t lastWall = 0;
  Tick lastTick = 0;
  Tick jumpedAt = 0;
  bool jumped = false;
  char jump[64] = {};    // "by +56 years", for as long as the jump holds deletions off
  int doubt = 0;         // the reason deletions are held off (a RetentionDoubt), as said
  std::string failures;  // the failures said at the last look, a line each
  unsigned long deleted = 0;
};

enum RetentionDoubt {
  kClockTrusted = 0,
  kClockBeforeProgram,  // before 2026: no machine running this program is there
  kClockJumped,
  kClockDisagreesWithReceiver,
  kClockBeforeNewestFile,
  kClockWouldDeleteAll,
};

// No clock that runs this program says a time before this (2026-01-01 UTC), nor is any
// file of its own older: a name dated earlier is not one of its names.
constexpr int64_t kEarliestClock = 1767225600;
constexpr int64_t kClockJumpMs = 60000;      // a step of the wall clock beyond this
constexpr Tick kClockSettleMs = 10 * 60000;  // holds deletions off for this long
constexpr int64_t kReceiverAgreementS = 600;
constexpr int64_t kNewestFileMarginS = 60;

// The clocks as the run begins, so that a jump before the first look is seen at it.
void BeginRetention(Retention& retention, std::time_t wall, Tick tick);

// One look: what is old goes, unless the clock is in doubt. Returns the files deleted.
int PruneSplitFiles(Retention& retention, const RetentionClock& now);

// Whether the name is one of this program's split files, and the UTC start of the hour
// or day that it names; `year` and `day` (of the year) are the folders it lies in.
bool SplitFileStart(const char* name, int split, int year, int day, int64_t& start);
