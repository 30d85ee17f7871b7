// SPDX-License-Identifier: BSD-2-Clause
#include "link/link.h"

int SendEnq(Link& link) {
  const uint8_t enq = kEnq;
  return WritePort(link.port, &enq, 1);
}

int SendPacket(Link& link, uint8_t type, const uint8_t* data, int length) {
  uint8_t frame[kMaxFrameLength];
  int size = BuildFrame(type, data, length, frame);
  if (size == 0) return 0;
  return WritePort(link.port, frame, size);
}
