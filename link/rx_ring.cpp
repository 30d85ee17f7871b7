// SPDX-License-Identifier: BSD-2-Clause
#include "link/rx_ring.h"

int PushReceived(RxRing& ring, const uint8_t* bytes, int count) {
  return PushBytes(ring, bytes, count);
}
