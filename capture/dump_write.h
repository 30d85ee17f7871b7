// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "capture/dump_file.h"
#include "capture/dump_slot.h"
#include "capture/dump_streams.h"
#include "capture/logging_switch.h"

// The writing of items: every item is written whole or not at all, so that a file is
// always a sequence of whole items.

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
