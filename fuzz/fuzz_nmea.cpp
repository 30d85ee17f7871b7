// SPDX-License-Identifier: BSD-2-Clause
// The NMEA extractor fed any byte stream in chunks of any size.
#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>

#include "capture/nmea_ring.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto nmea = std::make_unique<NmeaRing>();
  *nmea = NmeaRing{};
  char sentence[kSentenceBufferSize];
  size_t at = 0;
  while (at < size) {
    size_t chunk = std::min<size_t>(1 + data[at] % 64 * 5, size - at - 1);
    ++at;
    PushNmea(*nmea, data + at, static_cast<int>(chunk));
    at += chunk;
    while (PullSentence(*nmea, sentence) == 1) {
      size_t length = std::strlen(sentence);
      assert(sentence[0] == '$' && length >= kMinSentenceLength + 1 &&
             length <= static_cast<size_t>(kMaxSentenceLength));
      assert(sentence[length - 1] == '\n');  // LF alone, or behind any CRs
      assert(CheckSentence(sentence) == 1);
    }
    assert(nmea->sentenceLength >= 0 && nmea->sentenceLength < kMaxSentenceLength);
    for (unsigned long dropped : nmea->dropped) assert(dropped <= at);
  }
  return 0;
}
