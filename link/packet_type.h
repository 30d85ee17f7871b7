// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// The types of the frames the program and the receiver exchange, each with one name.
enum class PacketType : uint8_t {
  kPositionRecord = 0x40,  // logged to posn
  kRawObservation = 0x57,  // logged to obsd
  kCorrection = 0x93,      // logged to corr
  kCorrectionMore = 0x94,  // logged to corr as well, in arrival order
  kIdentificationReply = 0x6E,
  kIdentificationRequest = 0x6F,
  kKey = 0x81,
  kScreen = 0x82,  // the screen request, and the screen that answers it
  kSlaveRequest = 0x84,
};

constexpr uint8_t TypeByte(PacketType type) {
  return static_cast<uint8_t>(type);
}

// The requests for a screen: the long one, and the short one that receivers other than
// the QZ77 class want after it.
inline constexpr uint8_t kScreenRequestLong[5] = {0x00, 0x00, 0x78, 0x30, 0x38};
inline constexpr uint8_t kScreenRequestShort[1] = {0x01};
