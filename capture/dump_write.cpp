// SPDX-License-Identifier: BSD-2-Clause
#include "capture/dump_write.h"

#include "capture/dump_losses.h"

namespace {

constexpr uint64_t kPageSize = 4096;

// Writes the item behind the last whole one; a failure takes back what part of it got in.
int WriteItem(DumpSlot& slot, const uint8_t* bytes, int count, const char*& verb) {
  if (slot.torn) {
    verb = "repair";
    int error = TruncateDumpFile(slot.file, slot.wholeSize);
    if (error != 0) return error;
    slot.torn = false;
  }
  verb = "write";
  int error = WriteWhole(slot.file, bytes, count);
  if (error != 0 && TruncateDumpFile(slot.file, slot.wholeSize) != 0) slot.torn = true;
  return error;
}

void CountWritten(DumpSlot& slot, unsigned long items, unsigned long long bytes,
                  const DumpClock& now) {
  slot.wholeSize += bytes;
  slot.count.fileBytes = slot.wholeSize;
  if (slot.failing) EndSpell(slot);
  slot.uncheckedItems += items;
  slot.uncheckedBytes += bytes;
  slot.count.bytes += bytes;
  slot.count.lastItemTick = now.tick;
  slot.count.items += items;
  slot.unsynced = true;
}

// The items from `first` on that one write may take: up to the one that reaches the file's
// next page boundary. A write that a fatal signal (SIGKILL) interrupts stops at a page
// boundary, so an item can then be cut only where, written alone, it could be too: where
// it straddles one. `last` is the group's last item; returns its bytes.
int WritableGroup(const DumpSlot& slot, const uint16_t* lengths, int first, int items, int& last) {
  uint64_t boundary = (slot.wholeSize / kPageSize + 1) * kPageSize;
  int count = lengths[first];
  last = first;
  while (last + 1 < items && slot.wholeSize + static_cast<uint64_t>(count) < boundary)
    count += lengths[++last];
  return count;
}

// As WriteDumpItems, in the logging period `state` names; -1 when logging is off.
int WriteItemsInPeriod(unsigned state, const char* directory, DumpStreamId stream,
                       const uint8_t* bytes, const uint16_t* lengths, int items, DumpSlot& slot,
                       const DumpClock& now, int split) {
  if ((state & 1u) == 0) {
    CloseDump(slot);
    return -1;
  }
  int error = ReadyDump(directory, stream, state >> 1, slot, now, split);
  if (error != 0) {
    for (int i = 0; i < items; ++i) LoseItem(slot, lengths[i], "open", error, now);
    return 0;
  }
  const char* verb = "write";
  int written = 0;
  for (int first = 0, at = 0; first < items;) {
    int last = 0, count = WritableGroup(slot, lengths, first, items, last);
    if (last > first && WriteItem(slot, bytes + at, count, verb) == 0) {
      CountWritten(slot, static_cast<unsigned long>(last - first + 1),
                   static_cast<unsigned long long>(count), now);
      written += last - first + 1;
      first = last + 1;
      at += count;
      continue;
    }
    // Alone, or after the group did not fit: whole or not at all, so that every item that
    // still fits is kept and every other is counted as lost.
    error = WriteItem(slot, bytes + at, lengths[first], verb);
    if (error != 0) {
      LoseItem(slot, lengths[first], verb, error, now);
    } else {
      CountWritten(slot, 1, lengths[first], now);
      ++written;
    }
    at += lengths[first++];
  }
  SyncDump(slot, now, false);
  return written;
}

}  // namespace

int WriteDumpItems(const LoggingSwitch& logging, const char* directory, DumpStreamId stream,
                   const uint8_t* bytes, const uint16_t* lengths, int items, DumpSlot& slot,
                   const DumpClock& now, int split) {
  int written = WriteItemsInPeriod(logging.state.load(), directory, stream, bytes, lengths, items,
                                   slot, now, split);
  return written > 0 ? written : 0;
}

int WriteDump(const LoggingSwitch& logging, const char* directory, DumpStreamId stream,
              const uint8_t* bytes, int count, DumpSlot& slot, const DumpClock& now, int split) {
  auto length = static_cast<uint16_t>(count);
  int written = WriteItemsInPeriod(logging.state.load(), directory, stream, bytes, &length, 1, slot,
                                   now, split);
  return written == 1 ? 1 : written < 0 ? 0 : -1;
}
