// SPDX-License-Identifier: BSD-2-Clause
// The Telnet / RFC 2217 decoder fed whatever a hostile server might send, in reads of any
// size: the data never outgrows what came in, the answers and the subnegotiation buffer
// stay bounded, and a doubled 0xFF stays one byte.
#include <algorithm>
#include <cassert>
#include <cstdint>

#include "port/telnet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TelnetDecoder decoder;
  uint8_t opening[32];
  TelnetOpening(decoder, opening);
  size_t at = 0;
  while (at < size) {
    size_t chunk = std::min<size_t>(1 + data[at] % 64 * 5, size - at - 1);
    ++at;
    uint8_t out[512];
    TelnetReply reply;
    int n = TelnetDecode(decoder, data + at, static_cast<int>(chunk), out, reply);
    assert(n >= 0 && static_cast<size_t>(n) <= chunk);
    assert(reply.length >= 0 && reply.length <= kMaxReplyBytes && reply.length % 3 == 0);
    assert(decoder.subLength >= 0 && decoder.subLength <= kMaxSubnegotiation);
    at += chunk;
  }
  return 0;
}
