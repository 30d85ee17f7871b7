// SPDX-License-Identifier: BSD-2-Clause
#include <cstring>

#include "capture/nmea_ring.h"

namespace {

// The candidate in the buffer has come to its end (its LF, or the most a sentence may
// hold): accepted into `destination`, or dropped and counted when it looked like one.
bool FinishSentence(NmeaRing& nmea, char* destination) {
  SentenceDrop why;
  int length = nmea.sentenceLength;
  nmea.sentence[length] = '\0';
  nmea.sentenceLength = 0;
  int judged = JudgeSentence(nmea.sentence, length, why);
  if (judged == kSentenceAccepted) {
    std::memcpy(destination, nmea.sentence, static_cast<size_t>(length) + 1);
    return true;
  }
  if (judged == kSentenceDropped) {
    bool cut = nmea.sentence[length - 1] != '\n' && length == kMaxSentenceLength;
    ++nmea.dropped[cut ? kTooLong : why];
  }
  return false;
}

}  // namespace

int PullSentence(NmeaRing& nmea, char* destination) {
  while (!RingEmpty(nmea.ring)) {
    char c = static_cast<char>(RingAt(nmea.ring, 0));
    RingConsume(nmea.ring, 1);
    if (c == '$' && nmea.sentenceLength > 0) {
      FinishSentence(nmea, destination);  // cut short by the next one: never accepted
    }
    if (nmea.sentenceLength == 0 && c != '$') continue;  // between sentences: noise, frames
    nmea.sentence[nmea.sentenceLength % kMaxSentenceLength] = c;  // it never reaches the end
    ++nmea.sentenceLength;
    if ((c == '\n' || nmea.sentenceLength == kMaxSentenceLength) &&
        FinishSentence(nmea, destination)) {
      return 1;
    }
  }
  return 0;
}
