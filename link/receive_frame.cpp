// SPDX-License-Identifier: BSD-2-Clause
#include "link/link.h"

// Waits for one byte; false when the gap before it reached the time-out, the whole
// limit has passed, or the port was told to stop.
static bool ReadOneByte(Link& link, uint8_t& byte, double seconds, const Deadline* whole) {
  SetDeadline(link.deadline, seconds);
  for (;;) {
    if (ReadPort(link.port, &byte, 1) == 1) return true;
    if (DeadlinePassed(link.deadline) != 0) return false;
    if (whole != nullptr && DeadlinePassed(*whole) != 0) return false;
    int left = DeadlineRemainingMs(link.deadline);
    if (WaitForInput(link.port, left > 0 ? left : 1) == -2) return false;
  }
}

int ReceiveFrame(Link& link, Packet& packet, double seconds, double wholeSeconds) {
  Deadline whole;
  if (wholeSeconds > 0) SetDeadline(whole, wholeSeconds);
  packet.type = 0;
  packet.length = 0;
  packet.status = 0;
  bool inFrame = false;
  int position = 0;
  int dataLength = 0;
  uint8_t sum = 0;
  for (;;) {
    uint8_t byte;
    if (!ReadOneByte(link, byte, seconds, wholeSeconds > 0 ? &whole : nullptr)) {
      packet.length = 0;
      return -1;
    }
    if (!inFrame) {
      if (byte == kStx) {
        inFrame = true;
        position = 0;
        sum = 0;
        packet.length = 0;
      } else if (byte == kAck && link.linkState != kOutOfStep) {
        return -2;
      } else {
        link.linkState = kOutOfStep;
      }
      continue;
    }
    ++position;
    if (position == 1) {
      sum = static_cast<uint8_t>(sum + byte);  // status: summed, never stored
    } else if (position == 2) {
      packet.type = byte;
      sum = static_cast<uint8_t>(sum + byte);
    } else if (position == 3) {
      dataLength = byte;
      sum = static_cast<uint8_t>(sum + byte);
    } else if (position == 4 + dataLength) {
      if (byte != sum) {
        packet.length = 0;
        link.linkState = kOutOfStep;
        return -1;
      }
    } else if (position == 5 + dataLength) {
      link.linkState = byte == kEtx ? kInStep : kOutOfStep;
      return byte == kEtx ? 0 : -1;
    } else {
      packet.data[packet.length] = byte;
      packet.length = static_cast<uint8_t>(packet.length + 1);
      sum = static_cast<uint8_t>(sum + byte);
      if (packet.length > kMaxDataLength - 1) {
        packet.length = 0;
        link.linkState = kOutOfStep;
        return -1;
      }
    }
  }
}
