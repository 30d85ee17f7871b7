// SPDX-License-Identifier: BSD-2-Clause
#include <cstring>

#include "base/hex_digit.h"
#include "capture/nmea_ring.h"

namespace {

bool Alphanumeric(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// NMEA's characters are printable ASCII: a NUL or a line end inside is not a sentence's.
bool Printable(const char* text, int end) {
  for (int i = 0; i < end; ++i) {
    if (text[i] < 0x20 || text[i] > 0x7E) return false;
  }
  return true;
}

// What a receiver's sentence looks like, and a frame's bytes all but never: '$', an address
// (a talker and a type, "GPGGA"; or a maker's own, "PUBX", "PMTK001"), a comma, and
// printable characters only up to the line's end at `end`.
bool LooksLikeASentence(const char* text, int end) {
  if (end < kMinSentenceLength || text[0] != '$') return false;
  int at = 1;
  while (at < end && Alphanumeric(text[at])) ++at;
  bool address = at == 6 || (text[1] == 'P' && at >= 5 && at <= 12);
  return address && text[at] == ',' && Printable(text, end);
}

// Whether the text, '$' through `end` (its line's end excluded), ends in "*hh" with the
// exclusive or of the characters between '$' and '*'; `why` says what is wrong otherwise.
bool ChecksumRight(const char* text, int end, SentenceDrop& why) {
  why = kNoChecksum;
  const char* star = static_cast<const char*>(std::memchr(text, '*', static_cast<size_t>(end)));
  if (star == nullptr || star - text != end - 3) return false;
  int high = HexDigitValue(star[1]), low = HexDigitValue(star[2]);
  if (high < 0 || low < 0) return false;
  unsigned combined = 0;
  for (const char* c = text + 1; c < star; ++c) combined ^= static_cast<unsigned char>(*c);
  why = kWrongChecksum;
  return combined == static_cast<unsigned>(high * 16 + low);
}

}  // namespace

int JudgeSentence(const char* text, int length, SentenceDrop& why) {
  why = kNoChecksum;
  int end = length;  // the line's end: any CRs, then the LF
  bool ended = end > 0 && text[end - 1] == '\n';
  if (ended) --end;
  while (end > 0 && text[end - 1] == '\r') --end;
  if (ended && text[0] == '$' && end >= kMinSentenceLength && Printable(text, end) &&
      ChecksumRight(text, end, why)) {
    return kSentenceAccepted;
  }
  return LooksLikeASentence(text, end) ? kSentenceDropped : kNotASentence;
}

int CheckSentence(const char* text) {
  SentenceDrop why;
  int length = static_cast<int>(std::strlen(text));
  return JudgeSentence(text, length, why) == kSentenceAccepted ? 1 : 0;
}
