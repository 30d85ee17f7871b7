// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "base/byte_ring.h"

// NMEA 0183 sentences cut out of the same byte stream that carries the frames: '$',
// printable characters up to '*', two hex digits giving the checksum, then the line's end as the
// receiver sends it (CR LF, or LF alone, or CR CR LF: any CRs, then LF), 255 characters at the
// most. NMEA's own 82 is often passed by real receivers (an RTK receiver's GGA with eight decimals
// is 92, makers' own sentences reach 200): a valid sentence is never dropped for its length below
// that. A sentence is stored as received, its line end included.

constexpr int kMaxSentenceLength = 255;  // '$' through LF
constexpr int kSentenceBufferSize = kMaxSentenceLength + 1;
constexpr int kMinSentenceLength = 10;  // '$' through the checksum's last digit

// Why a candidate that looked like a sentence ('$', an address of letters and digits, only
// printable characters) was dropped. Other bytes (a frame's, noise) are not counted.
enum SentenceDrop {
  kNoChecksum,  // no '*' with two hex digits right before the line's end, or cut short
  kWrongChecksum,
  kTooLong,  // no line end within kMaxSentenceLength characters
  kSentenceDropReasons,
};

// The ring and the sentence being assembled. A sentence may be completed by bytes that
// arrive passes later; a new connection starts them afresh (ResetNmea).
struct NmeaRing {
  ByteRing<1024> ring;
  char sentence[kSentenceBufferSize] = {};
  int sentenceLength = 0;
  unsigned long dropped[kSentenceDropReasons] = {};  // counted since the start, by reason
};

int PushNmea(NmeaRing& nmea, const uint8_t* bytes, int count);

// Forgets the bytes in the ring and the sentence being assembled.
void ResetNmea(NmeaRing& nmea);

// 1: the next accepted sentence, '$' through LF and a terminating zero, is in
// `destination` (room for kSentenceBufferSize characters); 0: no further complete
// accepted sentence.
int PullSentence(NmeaRing& nmea, char* destination);

// What a candidate text ('$' through its LF) is.
enum SentenceJudgement { kSentenceAccepted, kSentenceDropped, kNotASentence };
int JudgeSentence(const char* text, int length, SentenceDrop& why);

// 1 if `text` is a whole accepted sentence, '$' through its LF.
int CheckSentence(const char* text);
