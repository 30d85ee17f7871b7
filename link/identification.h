// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/packet_type.h"

// The receiver's identification text: records separated by ";", read with
//   "PRODUCT,<name>"  at the very start
//   ";PORT,<port>,<n>,<baud>,<n>,<n>,<parity letter>,..."  anywhere
//   ";VERSION,<number>"  anywhere, optional

constexpr uint8_t kIdentificationRequest = TypeByte(PacketType::kIdentificationRequest);
constexpr uint8_t kIdentificationReply = TypeByte(PacketType::kIdentificationReply);
constexpr int kProductSize = 255;

struct PortRecord {
  unsigned long portNumber = 0;
  unsigned long baud = 0;
  char parityLetter = 0;
};

// The product name: everything after "PRODUCT," (and any blanks) up to the next white
// space. false when the text does not begin with the record or the name is missing.
bool ScanProduct(const char* text, char (&product)[kProductSize]);

// What a front end names the receiver by: the product ("MORWICK": the name up to the next
// record) and the firmware as the identification gives it ("2.10"); "" for what it does
// not say.
void ProductAndFirmware(const char* identification, char* product, size_t productSize,
                        char* firmware, size_t firmwareSize);

// `record` points at ";PORT". false unless port number, baud rate and parity were read.
bool ScanPortRecord(const char* record, PortRecord& out);

// `record` points at ";VERSION". false when no number follows.
bool ScanVersion(const char* record, float& version);

// Snaps a reported rate that lies strictly inside a window around a standard rate.
uint32_t NormaliseBaud(uint32_t reported);

// "E" even, "O" odd, anything else none.
int ParityFromLetter(char letter);

bool IsQz77Product(const char* product);
bool IsTwoLineCapable(const char* product, float version);
