// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "link/packet.h"

// Byte strings for tests: frames built by the link's own builder, sentences with their
// checksum worked out here.

using Bytes = std::vector<uint8_t>;

inline Bytes Frame(uint8_t type, const Bytes& data, uint8_t status = 0) {
  uint8_t out[kMaxFrameLength];
  int size = BuildFrame(type, data.data(), static_cast<int>(data.size()), out, status);
  return Bytes(out, out + size);
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Whether `bytes` end with `last`: everything sent up to a marker item has been logged.
inline bool EndsWith(const Bytes& bytes, const Bytes& last) {
  return bytes.size() >= last.size() && std::equal(last.rbegin(), last.rend(), bytes.rbegin());
}

// What a program sends to find a receiver: the probe and the identification request.
inline Bytes Handshake() {
  return Cat({Bytes{kEnq}, Frame(0x6F, {})});
}

inline Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

inline std::string Sentence(const std::string& body, bool lower = false) {
  unsigned check = 0;
  for (char c : body) check ^= static_cast<unsigned char>(c);
  char digits[3];
  std::snprintf(digits, sizeof digits, lower ? "%02x" : "%02X", check);
  return "$" + body + "*" + digits + "\r\n";
}

// The n-th of a run of items that tell apart what was logged before and after an event: a
// position packet and a GGA sentence.
inline Bytes Posn(uint8_t n) {
  return Frame(0x40, {n, n});
}

inline Bytes Gga(int n) {
  return Text(Sentence("GPGGA,1235" + std::to_string(10 + n) +
                       ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
}
