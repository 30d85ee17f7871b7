// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>

#include "base/tick.h"
#include "capture/dump_io.h"
#include "capture/written_periods.h"

// One stream's file as the worker keeps it between items, and what the stream has logged
// and lost, for anyone to read.

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
