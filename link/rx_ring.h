// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include "base/byte_ring.h"
#include "link/packet.h"

// Raw port input waiting to be cut into frames. It is never reset: bytes left by one
// connection are still there when the next one starts extracting.
using RxRing = ByteRing<8192>;

int PushReceived(RxRing& ring, const uint8_t* bytes, int count);

// Scans from the read index for the next complete valid frame.
// 0: `packet` filled; -1: no complete valid frame yet; -2: an ACK was taken while
// `linkState` was not out of step (the packet is left untouched).
int PullPacket(RxRing& ring, int& linkState, Packet& packet);
