// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <memory>

// What waits to be sent to one client of a shared receiver: whole items, back to back, in
// a fixed buffer taken when the client attaches. An item that does not fit is refused
// whole: a client that far behind is dropped, never sent half an item.
struct ClientQueue {
  std::unique_ptr<uint8_t[]> bytes;
  int capacity = 0;
  int64_t written = 0;  // bytes ever queued
  int64_t sent = 0;     // bytes ever taken out (written - sent wait)
};

// The buffer, once; a queue taken again is emptied.
void PrepareClientQueue(ClientQueue& queue, int capacity);

inline int QueuedBytes(const ClientQueue& queue) {
  return static_cast<int>(queue.written - queue.sent);
}

// false, and nothing queued, when the item does not fit whole.
bool QueueItem(ClientQueue& queue, const uint8_t* bytes, int count);

// Copies up to `size` of the waiting bytes, oldest first, without taking them out.
int PeekQueued(const ClientQueue& queue, uint8_t* out, int size);
void ConsumeQueued(ClientQueue& queue, int count);
