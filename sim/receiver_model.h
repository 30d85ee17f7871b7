// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <ctime>

// The receiver behind the simulated line: a small menu system on a 4 x 40 display that
// the panel's keys drive, and the screen it shows.

enum class ReceiverPage { kStatus, kSatellites, kLogging, kAppFile, kControl };

struct ReceiverModel {
  ReceiverPage page = ReceiverPage::kStatus;
  int cursor = 0;  // 0..159
  int lastKey = -1;
  char entry[9] = {};  // digits typed on the control page
  int entryLength = 0;
  int loggingSelected = 0;
  int slaveRequests = 0;
  bool twoLine = false;  // a two-line product lays its pages out for two lines
  int64_t seconds = 0;   // UTC seconds since 1970, advanced by the caller
};

// Key codes as the panel sends them (both layouts).
void ApplyKey(ReceiverModel& model, uint8_t code);

// The screen packet's data: 160 display codes and the cursor byte.
void RenderModelScreen(const ReceiverModel& model, uint8_t (&screen)[161]);
