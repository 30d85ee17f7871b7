// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// A fixed circular byte buffer with 16-bit indices masked to its size. One slot always
// stays empty, so a ring of Size bytes holds at most Size - 1.
template <uint16_t Size>
struct ByteRing {
  static_assert((Size & (Size - 1)) == 0, "ring size must be a power of two");
  static constexpr uint16_t kMask = Size - 1;
  uint8_t bytes[Size] = {};
  uint16_t write = 0;
  uint16_t read = 0;
};

template <uint16_t Size>
inline uint16_t RingFill(const ByteRing<Size>& ring) {
  return static_cast<uint16_t>((ring.write - ring.read) & ByteRing<Size>::kMask);
}

template <uint16_t Size>
inline bool RingEmpty(const ByteRing<Size>& ring) {
  return ring.read == ring.write;
}

template <uint16_t Size>
inline uint8_t RingAt(const ByteRing<Size>& ring, int offset) {
  return ring.bytes[(ring.read + offset) & ByteRing<Size>::kMask];
}

template <uint16_t Size>
inline void RingConsume(ByteRing<Size>& ring, int count) {
  ring.read = static_cast<uint16_t>((ring.read + count) & ByteRing<Size>::kMask);
}

// Stores bytes until the ring is full; returns how many were stored. The rest is dropped.
template <uint16_t Size>
int PushBytes(ByteRing<Size>& ring, const uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    uint16_t next = static_cast<uint16_t>((ring.write + 1) & ByteRing<Size>::kMask);
    if (next == ring.read) return i;
    ring.bytes[ring.write] = bytes[i];
    ring.write = next;
  }
  return count < 0 ? 0 : count;
}
