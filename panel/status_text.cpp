// SPDX-License-Identifier: BSD-2-Clause
#include "panel/status_text.h"

#include <cstdio>
#include <cstring>

#include "base/byte_count_text.h"
#include "capture/dump_streams.h"
#include "link/identification.h"
#include "port/parity.h"

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

void ConnectedText(const char* identification, uint32_t baud, int parity, char* out, int size) {
  char product[kProductSize], firmware[20];
  ProductAndFirmware(identification, product, sizeof product, firmware, sizeof firmware);
  char letter = parity == kParityEven ? 'E' : parity == kParityOdd ? 'O' : 'N';
  std::snprintf(out, static_cast<size_t>(size), "Connected to %s%s%s%s at %u baud, 8%c1",
                product[0] != '\0' ? product : "a receiver",
                firmware[0] != '\0' ? " (firmware " : "", firmware, firmware[0] != '\0' ? ")" : "",
                baud, letter);
}

const char* PortToolTip(const char* label) {
  static const struct {
    const char* label;
    const char* tip;
  } kTips[] = {
      {" N/C ", "N/C: no receiver connected"},
      {"  A  ", "A: the cable is on the receiver's port A"},
      {"B-1  ", "B-1: the cable is on the receiver's port B-1"},
      {"B-2  ", "B-2: the cable is on the receiver's port B-2"},
      {"Port4", "Port4: the cable is on the receiver's fourth port"},
  };
  for (const auto& entry : kTips) {
    if (std::strcmp(label, entry.label) == 0) return entry.tip;
  }
  return "??: the receiver named a port this program does not know";
}

void LoggingFieldText(const LoggingFieldView& view, char* out, int size) {
  char amount[24] = "";
  if (view.on && !view.failing) ByteCountText(view.bytes, amount, sizeof amount);
  std::snprintf(out, static_cast<size_t>(size), "Log %s%s",
                !view.on       ? "off"
                : view.failing ? "FAILING"
                               : amount,
                view.recording ? " REC" : "");
}
