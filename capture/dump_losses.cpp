// SPDX-License-Identifier: BSD-2-Clause
#include "capture/dump_losses.h"

#include "base/status_message.h"
#include "capture/dump_news.h"

void CountLoss(DumpSlot& slot, unsigned long items, unsigned long long bytes, std::time_t when) {
  DumpCount& count = slot.count;
  count.lostItems += items;
  count.lostBytes += bytes;
  long long none = 0;
  count.firstLoss.compare_exchange_strong(none, static_cast<long long>(when));
  count.lastLoss = static_cast<long long>(when);
}

// An item that could not be written: the first of a spell is said, each is counted.
int LoseItem(DumpSlot& slot, int itemBytes, const char* verb, int error, const DumpClock& now) {
  if (!slot.failing) {
    slot.failing = true;
    slot.spellItems = 0;
    slot.spellBytes = 0;
    slot.spellFrom = now.wall;
    ++slot.count.failures;
    slot.count.failing = true;
    StatusEvent event = DumpEvent(kDumpWriteFailing, kStatusFailure, slot.shownPath);
    event.other = verb;
    event.error = error;
    ShowStatusEvent(event);
  }
  ++slot.spellItems;
  slot.spellBytes += static_cast<unsigned long long>(itemBytes);
  slot.spellTo = now.wall;
  CountLoss(slot, 1, static_cast<unsigned long long>(itemBytes), now.wall);
  return -1;
}

void EndSpell(DumpSlot& slot) {
  slot.failing = false;
  slot.count.failing = false;
  StatusEvent event = DumpEvent(kDumpWritingAgain, kStatusFailure, slot.shownPath);
  event.items = slot.spellItems;
  event.bytes = slot.spellBytes;
  event.from = slot.spellFrom;
  event.to = slot.spellTo;
  ShowStatusEvent(event);
}
