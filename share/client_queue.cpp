// SPDX-License-Identifier: BSD-2-Clause
#include "share/client_queue.h"

#include <cstring>

void PrepareClientQueue(ClientQueue& queue, int capacity) {
  if (queue.capacity != capacity) {
    queue.bytes = std::make_unique<uint8_t[]>(static_cast<size_t>(capacity));
    queue.capacity = capacity;
  }
  queue.written = 0;
  queue.sent = 0;
}

bool QueueItem(ClientQueue& queue, const uint8_t* bytes, int count) {
  if (count > queue.capacity - QueuedBytes(queue)) return false;
  int at = static_cast<int>(queue.written % queue.capacity);
  int first = count < queue.capacity - at ? count : queue.capacity - at;
  std::memcpy(queue.bytes.get() + at, bytes, static_cast<size_t>(first));
  std::memcpy(queue.bytes.get(), bytes + first, static_cast<size_t>(count - first));
  queue.written += count;
  return true;
}

int PeekQueued(const ClientQueue& queue, uint8_t* out, int size) {
  int count = QueuedBytes(queue) < size ? QueuedBytes(queue) : size;
  int at = static_cast<int>(queue.sent % queue.capacity);
  int first = count < queue.capacity - at ? count : queue.capacity - at;
  std::memcpy(out, queue.bytes.get() + at, static_cast<size_t>(first));
  std::memcpy(out + first, queue.bytes.get(), static_cast<size_t>(count - first));
  return count;
}

void ConsumeQueued(ClientQueue& queue, int count) {
  queue.sent += count < QueuedBytes(queue) ? count : QueuedBytes(queue);
}
