// SPDX-License-Identifier: BSD-2-Clause
#include "panel/status_text.h"

#include <cstring>

const char* PortLabel(uint32_t receiverPortNumber) {
  static const char* const kLabels[] = {" N/C ", "  A  ", "B-1  ", "B-2  ", "Port4"};
  return receiverPortNumber < 5 ? kLabels[receiverPortNumber] : "??   ";
}

void FormatStatusLine(const char* text, char* line) {
  std::memset(line, ' ', kStatusLineWidth);
  line[kStatusLineWidth] = '\0';
  for (int i = 0; i < kStatusLineWidth && text[i] != '\0'; ++i) {
    line[i] = text[i] == '\r' || text[i] == '\n' ? ' ' : text[i];
  }
}
