// SPDX-License-Identifier: BSD-2-Clause
#include "link/rx_ring.h"

static void CopyOut(const RxRing& ring, int count, uint8_t* out) {
  for (int i = 0; i < count; ++i) out[i] = RingAt(ring, i);
}

static void FillPacket(const uint8_t* frame, int frameLength, Packet& packet) {
  packet.type = frame[2];
  packet.length = frame[3];
  packet.status = frame[1];
  for (int i = 0; i < packet.length; ++i) packet.data[i] = frame[4 + i];
  for (int i = 0; i < frameLength; ++i) packet.raw[i] = frame[i];
}

int PullPacket(RxRing& ring, int& linkState, Packet& packet) {
  while (!RingEmpty(ring)) {
    uint8_t first = RingAt(ring, 0);
    if (first != kStx) {
      RingConsume(ring, 1);
      if (first == kAck && linkState != kOutOfStep) return -2;
      linkState = kOutOfStep;
      continue;
    }
    int avail = RingFill(ring);
    if (avail < kFrameOverhead) return -1;  // the STX stays until the rest arrives
    int frameLength = RingAt(ring, 3) + kFrameOverhead;
    if (frameLength > kMaxFrameLength) {
      // No frame can be this long: this STX starts nothing.
      RingConsume(ring, 1);
      continue;
    }
    if (avail < frameLength) return -1;
    uint8_t frame[kMaxFrameLength];
    CopyOut(ring, frameLength, frame);
    if (CheckFrame(frame) == kFrameValid) {
      linkState = kInStep;
      FillPacket(frame, frameLength, packet);
      RingConsume(ring, frameLength);
      return 0;
    }
    // Skip the STX only, so that a genuine frame starting inside this one is found.
    RingConsume(ring, 1);
    linkState = kOutOfStep;
  }
  return -1;
}
