// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "base/tick.h"
#include "link/packet.h"
#include "link/rx_ring.h"
#include "port/port.h"

// Everything the program keeps about its line to the receiver. One lives for the whole
// run; each identification starts its receive side afresh.
struct Link {
  Port port;
  RxRing rx;
  int linkState = kNothingReceived;
  Deadline deadline;

  // What the last identification learned.
  uint32_t receiverPortNumber = 0;  // the receiver's port number + 1; 0: none known
  bool qz77Class = false;       // a QZ77: polled every 400 ms, with the long screen request only
  bool twoLineCapable = false;  // the receiver has the two-line display
  char identification[kMaxDataLength + 1] = {};  // the reply's text; "" until one came
  // The reply's frame as the receiver sent it, for those who ask the program in its place.
  uint8_t identificationFrame[kMaxFrameLength] = {};
  int identificationFrameLength = 0;  // 0 until one came
};

// 1 on success, 0 on failure.
int SendEnq(Link& link);
// L + 6 on success, 0 on failure. `data` may be null when `length` is 0.
int SendPacket(Link& link, uint8_t type, const uint8_t* data, int length);

// Opens `portPath`, finds the receiver, reads its identification and switches the line
// to its baud rate and parity. 1 = identified, 0 = failed (shown) or stopped (the
// port's stop signal; nothing shown). Each identification starts with empty receive
// rings: nothing an earlier connection left is read as this one's reply.
int IdentifyReceiver(Link& link, const char* portPath);

// Forgets every byte received and the framing state, as at program start.
void ResetReceiveSide(Link& link);
