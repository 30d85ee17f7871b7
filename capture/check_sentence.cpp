// SPDX-License-Identifier: BSD-2-Clause
#include <cstdio>
#include <cstring>

#include "capture/nmea_ring.h"

int CheckSentence(const char* text) {
  if (text[0] != '$') return 0;
  uint8_t combined = 0;
  const char* c = text + 1;
  for (; *c != '*'; ++c) {
    if (*c == '\0') return 0;
    combined = static_cast<uint8_t>(combined ^ static_cast<uint8_t>(*c));
  }
  unsigned int stated = 0;
  if (std::sscanf(c, "*%2x", &stated) != 1) stated = 0;
  // Look no further than the text's end: "*\r\n" must not borrow stale bytes behind it.
  if (std::strlen(c) < 5 || c[3] != '\r' || c[4] != '\n') return 0;
  return (stated & 0xFF) == combined ? 1 : 0;
}
