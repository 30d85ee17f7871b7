// SPDX-License-Identifier: BSD-2-Clause
#include <cstring>

#include "capture/nmea_ring.h"

// The checksum's CR LF must be the LF that ends the sentence: a short sentence followed by
// more text up to a later LF is not one sentence, and its tail must not reach the log.
static bool ChecksumEndsSentence(const NmeaRing& nmea) {
  const char* star = static_cast<const char*>(std::memchr(nmea.sentence, '*', nmea.sentenceLength));
  return star != nullptr && star - nmea.sentence == nmea.sentenceLength - 5;
}

// Ends the sentence held in the buffer at its LF; true when it was accepted.
static bool FinishSentence(NmeaRing& nmea, char* destination) {
  nmea.sentence[nmea.sentenceLength] = '\0';
  bool accepted = CheckSentence(nmea.sentence) == 1 && ChecksumEndsSentence(nmea);
  if (accepted)
    std::memcpy(destination, nmea.sentence, static_cast<size_t>(nmea.sentenceLength) + 1);
  nmea.sentenceLength = 0;
  return accepted;
}

int PullSentence(NmeaRing& nmea, char* destination) {
  while (!RingEmpty(nmea.ring)) {
    char c = static_cast<char>(RingAt(nmea.ring, 0));
    RingConsume(nmea.ring, 1);
    if (c == '$') nmea.sentenceLength = 0;
    nmea.sentence[nmea.sentenceLength++] = c;
    if (c == '\n' && nmea.sentenceLength >= kMinSentenceLength) {
      if (FinishSentence(nmea, destination)) return 1;
    } else if (nmea.sentenceLength == kMaxSentenceLength) {
      nmea.sentenceLength = 0;  // too long for a sentence: drop what was assembled
    }
  }
  return 0;
}
