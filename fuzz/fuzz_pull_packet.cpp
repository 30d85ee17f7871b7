// SPDX-License-Identifier: BSD-2-Clause
// The packet extractor fed any byte stream in chunks of any size.
#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>

#include "link/rx_ring.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto ring = std::make_unique<RxRing>();
  *ring = RxRing{};
  int linkState = kNothingReceived;
  Packet packet;
  size_t at = 0;
  while (at < size) {
    // The first byte of each piece says how long the chunk after it is.
    size_t chunk = std::min<size_t>(1 + data[at] % 64 * 5, size - at - 1);
    ++at;
    PushReceived(*ring, data + at, static_cast<int>(chunk));
    at += chunk;
    int pulled;
    while ((pulled = PullPacket(*ring, linkState, packet)) != -1) {
      assert(ring->read < 8192 && ring->write < 8192);
      assert(linkState == kInStep || linkState == kNothingReceived || linkState == kOutOfStep);
      if (pulled != 0) continue;
      assert(CheckFrame(packet.raw) == kFrameValid);
      assert(packet.raw[3] == packet.length && packet.raw[2] == packet.type);
      assert(std::memcmp(packet.raw + 4, packet.data, packet.length) == 0);
    }
  }
  return 0;
}
