// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "base/byte_ring.h"

// NMEA 0183 sentences cut out of the same byte stream that carries the frames:
// '$' ... '*' two hex digits CR LF, 12 to 90 characters, with a correct checksum.

constexpr int kMaxSentenceLength = 90;
constexpr int kSentenceBufferSize = kMaxSentenceLength + 1;
constexpr int kMinSentenceLength = 12;

// The ring and the sentence being assembled. A sentence may be completed by bytes that
// arrive passes later; a new connection starts them afresh (ResetNmea).
struct NmeaRing {
  ByteRing<1024> ring;
  char sentence[kSentenceBufferSize] = {};
  int sentenceLength = 0;
};

int PushNmea(NmeaRing& nmea, const uint8_t* bytes, int count);

// Forgets the bytes in the ring and the sentence being assembled.
void ResetNmea(NmeaRing& nmea);

// 1: the next accepted sentence, '$' through LF and a terminating zero, is in
// `destination` (room for 91 characters); 0: no further complete accepted sentence.
int PullSentence(NmeaRing& nmea, char* destination);

// 1 if `text` starts with '$', has exactly two characters between its first '*' and a
// CR LF, and those give the exclusive or of the characters between '$' and '*'.
int CheckSentence(const char* text);
