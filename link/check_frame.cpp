// SPDX-License-Identifier: BSD-2-Clause
#include <cstring>

#include "link/packet.h"

static uint8_t FrameChecksum(const uint8_t* frame, int length) {
  uint8_t sum = 0;
  for (int i = 1; i <= 3 + length; ++i) sum = static_cast<uint8_t>(sum + frame[i]);
  return sum;
}

int CheckFrame(const uint8_t* frame) {
  int length = frame[3];
  if (length > kMaxDataLength) return kFrameLengthTooLarge;
  if (FrameChecksum(frame, length) != frame[4 + length]) return kFrameChecksumMismatch;
  if (frame[5 + length] != kEtx || frame[0] != kStx) return kFrameBadStartOrEnd;
  return kFrameValid;
}

int BuildFrame(uint8_t type, const uint8_t* data, int length, uint8_t* out, uint8_t status) {
  if (length < 0 || length > kMaxDataLength) return 0;
  out[0] = kStx;
  out[1] = status;
  out[2] = type;
  out[3] = static_cast<uint8_t>(length);
  if (length > 0) std::memcpy(out + 4, data, static_cast<size_t>(length));
  out[4 + length] = FrameChecksum(out, length);
  out[5 + length] = kEtx;
  return length + kFrameOverhead;
}
