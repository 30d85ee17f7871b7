// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// The frame both sides speak:
//   STX, status, type, length L (0..249), L data bytes, checksum, ETX
// The checksum is the low 8 bits of the sum of status, type, length and data.
// A frame is therefore 6 to 255 bytes long.

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kEnq = 0x05;
constexpr uint8_t kAck = 0x06;

constexpr int kFrameOverhead = 6;
constexpr int kMaxDataLength = 249;
constexpr int kMaxFrameLength = kMaxDataLength + kFrameOverhead;

// One received frame as handed to its users. `data` always has room for one byte behind
// the last data byte, so a user may terminate it and read it as text.
struct Packet {
  uint8_t type = 0;
  uint8_t length = 0;
  uint8_t data[255] = {};
  uint8_t status = 0;
  uint8_t raw[kMaxFrameLength] = {};
};

// The framing state of the receive side: what the last thing seen was.
enum LinkStateValue {
  kNothingReceived = 0,
  kOutOfStep = 1,  // a stray byte or a bad frame
  kInStep = 2,     // a good frame
};

// CheckFrame results.
enum FrameCheck {
  kFrameValid = 0,
  kFrameLengthTooLarge = 1,
  kFrameChecksumMismatch = 2,
  kFrameBadStartOrEnd = 3,
};

// `frame` holds one frame from its STX; at least length + 6 bytes must be readable.
int CheckFrame(const uint8_t* frame);

// Builds the frame for `length` data bytes (0..249) into `out`, which must hold 255
// bytes. Returns the frame's size, or 0 when the length cannot be framed.
int BuildFrame(uint8_t type, const uint8_t* data, int length, uint8_t* out, uint8_t status = 0);
