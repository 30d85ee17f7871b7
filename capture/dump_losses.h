// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <ctime>

#include "capture/dump_slot.h"

// The loss ledger: items that could not be written, counted in the stream's counts; a
// spell of failures is said when it begins, and when it ends with what went in between.

// Counts items lost at `when` (the local time), without a word.
void CountLoss(DumpSlot& slot, unsigned long items, unsigned long long bytes, std::time_t when);
// An item that could not be written (`verb`: what failed, "open", "write", "repair"): the
// first of a spell is said, each is counted. Returns -1.
int LoseItem(DumpSlot& slot, int itemBytes, const char* verb, int error, const DumpClock& now);
// The spell under way has ended: said with what it lost.
void EndSpell(DumpSlot& slot);
