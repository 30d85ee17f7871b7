// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "base/tick.h"
#include "capture/dump_io.h"
#include "capture/written_periods.h"

// The dump files: posn.dmp, obsd.dmp, corr.dmp (whole frames as received) and nmea.dmp
// (accepted sentences), written while logging is on, and handed to the disk at least once a second.
//
// Every item is written whole or not at all: a file is always a sequence of whole items.
//
// A logging period is what the user switches on and off. Within a period every
// connection writes on at the end of the same files; the first item of a new period
// starts its file afresh, and a file that already holds data is first kept under a name
// that says when it was last written (posn-20261207-101530.dmp). No log is ever emptied.

enum DumpStreamId { kPosnStream, kObsdStream, kCorrStream, kNmeaStream, kDumpStreamCount };

// Every stream is written exactly as received, NMEA's CR LF included: in binary mode,
// so that no platform turns a line end into another.
struct DumpStream {
  const char* baseName;
};

extern const DumpStream kDumpStreams[kDumpStreamCount];

// The stream a packet type is logged to, or -1 for types that are not logged.
int DumpStreamForPacketType(uint8_t type);

// Whether logging is on, and which logging period it is in, read together once per item.
// Bit 0: on; the bits above count the periods (the first is 1).
struct LoggingSwitch {
  std::atomic<unsigned> state{0};
};

void SetLogging(LoggingSwitch& logging, int on);
int LoggingOn(const LoggingSwitch& logging);

// What one stream has logged and lost so far: written by the worker, read by anyone.
struct DumpCount {
  std::atomic<unsigned long> items{0};  // items that reached the file; never counts down
  std::atomic<unsigned long long> bytes{0};
  std::atomic<unsigned long> removedItems{0};       // of those, the ones that went with a file
  std::atomic<unsigned long long> removedBytes{0};  // removed while logging (lost too)
  std::atomic<Tick> lastItemTick{0};             // TickCount of the last item; valid once items > 0
  std::atomic<unsigned long> lostItems{0};       // items that could not be written, or went with
  std::atomic<unsigned long long> lostBytes{0};  // a file that was removed
  std::atomic<long long> firstLoss{0};           // the local times of the first and the last loss
  std::atomic<long long> lastLoss{0};
  std::atomic<unsigned> failures{0};  // failures said: spells of lost items, failed syncs
  std::atomic<bool> failing{false};   // items are being lost now
  std::atomic<unsigned long long> fileBytes{0};  // the length of the file written last
};

// The moment an item is handled, by the caller's clocks: the millisecond tick, and the
// time of day for what the user is told.
struct DumpClock {
  Tick tick = 0;
  std::time_t wall = 0;
};

constexpr int kDumpPathSize = 512;

// One stream's file. It outlives the worker that writes it, so that the next connection
// knows which period the file on disk belongs to; only one worker uses it at a time.
struct DumpSlot {
  DumpFile file;
  unsigned period = 0;                 // the period the file on disk was started in; 0: none
  std::time_t splitStart = 0;          // split files: the UTC hour or day the file holds
  char path[kDumpPathSize] = {};       // the file as opened
  char shownPath[kDumpPathSize] = {};  // and as the user is told of it: the whole path
  uint64_t wholeSize = 0;              // the file's length up to the end of its last whole item
  bool torn = false;                   // a failed write left part of an item behind that
  bool unsynced = false;               // written since the last sync
  bool syncFailed = false;
  Tick syncedTick = 0;
  Tick checkedTick = 0;  // when the file was last seen in its place
  std::time_t checkedAt = 0;
  unsigned long uncheckedItems = 0;  // written since then: gone with it if it vanished
  unsigned long long uncheckedBytes = 0;
  // The spell of failures under way: what was lost, from when to when.
  bool failing = false;
  unsigned long spellItems = 0;
  unsigned long long spellBytes = 0;
  std::time_t spellFrom = 0;
  std::time_t spellTo = 0;
  DumpCount count;
  WrittenPeriods* writtenPeriods = nullptr;  // where split files opened are noted; null: nowhere
};

// Files split by the hour or the day (UTC, as GNSS archives count): at each boundary the
// stream's file is closed and the next item begins a new one, named by the time it holds:
// DIR/YYYY/DDD/posn-YYYYMMDD-HH.dmp (hour) or DIR/YYYY/DDD/posn-YYYYMMDD.dmp (day), so that
// the files sort by time and a day's files share a folder, by year and day of the year.
enum DumpSplit { kNoSplit = 0, kSplitHour = 3600, kSplitDay = 86400 };

// Writes one item of a stream whole, or nothing of it; closes the stream's file when
// logging is off. `directory` is where the files lie ("" for the current directory).
// A failure is said when it begins and its end is said with what was lost in between;
// while it lasts, every item tries again. 1: written; 0: logging is off; -1: lost.
// With a split, an item goes whole into the file of the time it arrived, and a file
// that exists already (a restart within its hour or day) is written on at its end.
int WriteDump(const LoggingSwitch& logging, const char* directory, DumpStreamId stream,
              const uint8_t* bytes, int count, DumpSlot& slot, const DumpClock& now,
              int split = kNoSplit);

// Several whole items of one stream that arrived together, contiguous in `bytes`, with as
// few writes as keep them whole: one per page of the file that they reach (a write cut by
// SIGKILL stops at a page boundary). When a write fails its items are written one by one,
// so that each is kept or counted as lost exactly as WriteDump would. The items written.
int WriteDumpItems(const LoggingSwitch& logging, const char* directory, DumpStreamId stream,
                   const uint8_t* bytes, const uint16_t* lengths, int items, DumpSlot& slot,
                   const DumpClock& now, int split = kNoSplit);

// The name of a split file below the dump directory, as described above.
void SplitDumpName(const char* baseName, std::time_t start, int split, char* out, size_t size);

// Hands the file's new items to the disk once they are a second old (at once with
// `force`). True while some wait for it.
bool SyncDump(DumpSlot& slot, const DumpClock& now, bool force);

// Syncs and closes the stream's file.
void CloseDump(DumpSlot& slot);

// The name an earlier dump file is kept under: "<base>-YYYYMMDD-HHMMSS.dmp" from the
// local time it was last written, and "-2", "-3"... behind it when `attempt` is above 1.
void KeptDumpName(const char* baseName, std::time_t written, int attempt, char* out, size_t size);

// Moves an earlier file that holds data out of the way, to a name that says when it was
// last written: posn.dmp to posn-20261207-101530.dmp, session.rec to
// session-20261207-101530.rec ("-2", "-3"... when that is taken). 0 when there was nothing
// to keep (`kept` empty) or it was kept (`kept` names it); else the error number: a name
// taken by a folder, a symbolic link, a pipe or a device is not moved (ELOOP or
// kNotRegularFile), so that a folder given for a file is refused, not renamed.
int KeepEarlierFile(const char* path, char* kept, size_t size);

// The directory the dump files go to, as a full path, for telling the user.
void DumpDirectoryText(const char* directory, char* out, size_t size);
