// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// Texts of the status bar that do not depend on how it is drawn.

constexpr int kStatusLineWidth = 460;
constexpr int kPortLabelLength = 5;

// The five-character label of a receiver port number; 0 means not connected.
const char* PortLabel(uint32_t receiverPortNumber);

// What the message field says once connected: "Connected to MORWICK (firmware 2.10) at
// 38400 baud, 8N1", from the identification and the line it switched to.
void ConnectedText(const char* identification, uint32_t baud, int parity, char* out, int size);

// The logging field: "Log off", "Log 12.3 kB" (what this period wrote), "Log FAILING"
// while items are being lost; " REC" behind it while the session is recorded.
struct LoggingFieldView {
  bool on = false;
  bool failing = false;
  bool recording = false;
  unsigned long long bytes = 0;
};
void LoggingFieldText(const LoggingFieldView& view, char* out, int size);

// What the port field's label means, for its tooltip: "N/C: no receiver connected".
const char* PortToolTip(const char* label);

// The message as one line: at most 460 characters, CR and LF shown as blanks, padded
// with blanks to the full width. `line` holds kStatusLineWidth + 1 characters.
void FormatStatusLine(const char* text, char* line);
