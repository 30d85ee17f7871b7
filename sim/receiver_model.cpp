// SPDX-License-Identifier: BSD-2-Clause
#include "sim/receiver_model.h"

#include <cstdio>
#include <cstring>

#include "sim/rover.h"

namespace {

constexpr int kColumns = 40;
constexpr int kCells = 160;

// Display codes the panel draws differently from ASCII.
constexpr char kDegree = static_cast<char>(0xDF);
constexpr char kArrowLeft = 0x01;
constexpr char kOrdinal = 0x02;
constexpr char kBackslash = 0x60;

void MoveCursor(ReceiverModel& model, int delta) {
  model.cursor = (model.cursor + delta + kCells) % kCells;
}

void SelectPage(ReceiverModel& model, ReceiverPage page) {
  model.page = page;
  model.cursor = 0;
}

void TypeDigit(ReceiverModel& model, char digit) {
  if (model.entryLength < 8) {
    model.entry[model.entryLength++] = digit;
    model.entry[model.entryLength] = '\0';
  }
  MoveCursor(model, 1);
}

void PutLine(uint8_t (&screen)[161], int line, const char* text) {
  size_t length = std::strlen(text);
  for (int column = 0; column < kColumns; ++column) {
    screen[line * kColumns + column] =
        static_cast<uint8_t>(static_cast<size_t>(column) < length ? text[column] : ' ');
  }
}

void Clock(const ReceiverModel& model, char* out, size_t size) {
  int s = static_cast<int>(model.seconds % 86400);
  std::snprintf(out, size, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
}

const char* FixName(const Rover& rover) {
  return rover.quality == 4 ? "RTK" : "FLT";
}

// What its NMEA sentences say too (sim/rover.h).
void StatusPage(const ReceiverModel& model, char lines[4][64]) {
  char clock[16];
  Clock(model, clock, sizeof clock);
  Rover rover = RoverAt(model.seconds);
  std::snprintf(lines[0], 64, "POSITION 52%c%07.4fN 005%c%07.4fE", kDegree, rover.latitudeMinutes,
                kDegree, rover.longitudeMinutes);
  std::snprintf(lines[1], 64, "HGT %5.2fm FIX %s SVs %d/%d PDOP %.1f", rover.height, FixName(rover),
                rover.used, rover.inView, rover.pdop);
  std::snprintf(lines[2], 64, "TIME %s UTC   %cSLAVE %s", clock, kOrdinal,
                model.slaveRequests > 0 ? "ON " : "OFF");
  std::snprintf(lines[3], 64, "%c%c STATUS   keys: SvInfo LogData AppFile", kArrowLeft, kArrowLeft);
}

// The GPS satellites of the rover's sky, two a line.
void SatellitesPage(const ReceiverModel&, char lines[4][64]) {
  const SimSystem& gps = kSimSky[0];
  for (int line = 0; line < 4; ++line) {
    const SimSatellite& a = gps.satellites[line * 2];
    const SimSatellite& b = gps.satellites[line * 2 + 1];
    std::snprintf(lines[line], 64, "SV%02d EL%02d%c SNR%02d  SV%02d EL%02d%c SNR%02d", a.id,
                  a.elevation, kDegree, a.signal, b.id, b.elevation, kDegree, b.signal);
  }
}

void LoggingPage(const ReceiverModel& model, char lines[4][64]) {
  std::snprintf(lines[0], 64, "LOG DATA");
  std::snprintf(lines[1], 64, "%c POSITION 1s   %c RAW OBS 1s",
                model.loggingSelected == 0 ? '>' : ' ', model.loggingSelected == 1 ? '>' : ' ');
  std::snprintf(lines[2], 64, "%c NMEA GGA RMC  %c CORRECTIONS",
                model.loggingSelected == 2 ? '>' : ' ', model.loggingSelected == 3 ? '>' : ' ');
  std::snprintf(lines[3], 64, "Enter selects   Clear returns");
}

void AppFilePage(const ReceiverModel&, char lines[4][64]) {
  std::snprintf(lines[0], 64, "APPLICATION FILES");
  std::snprintf(lines[1], 64, "C:%cAPP%cSURVEY.APP     ACTIVE", kBackslash, kBackslash);
  std::snprintf(lines[2], 64, "C:%cAPP%cSTATIC.APP", kBackslash, kBackslash);
  std::snprintf(lines[3], 64, "C:%cAPP%cDEFAULT.APP", kBackslash, kBackslash);
}

void ControlPage(const ReceiverModel& model, char lines[4][64]) {
  std::snprintf(lines[0], 64, "CONTROL");
  std::snprintf(lines[1], 64, "ELEVATION MASK  [%-8s]", model.entry);
  std::snprintf(lines[2], 64, "LAST KEY        %3d", model.lastKey);
  std::snprintf(lines[3], 64, "A:RESET B:SLEEP C:BAUD D:PORTS");
}

// A two-line product's pages: two short lines that the compact panel shows whole.
void TwoLinePage(const ReceiverModel& model, char lines[4][64]) {
  char clock[16];
  Clock(model, clock, sizeof clock);
  switch (model.page) {
    case ReceiverPage::kStatus:
      std::snprintf(lines[0], 64, "FIX %s SV %d", FixName(RoverAt(model.seconds)),
                    RoverAt(model.seconds).used);
      std::snprintf(lines[1], 64, "%s", clock);
      break;
    case ReceiverPage::kSatellites:
      std::snprintf(lines[0], 64, "SV02 EL45%c", kDegree);
      std::snprintf(lines[1], 64, "SV07 EL62%c", kDegree);
      break;
    case ReceiverPage::kLogging:
      std::snprintf(lines[0], 64, "LOG %s", model.loggingSelected % 2 ? "OFF" : "ON");
      std::snprintf(lines[1], 64, "%cPOSN 1s", kArrowLeft);
      break;
    case ReceiverPage::kAppFile:
      std::snprintf(lines[0], 64, "C:%cSURVEY", kBackslash);
      std::snprintf(lines[1], 64, "ACTIVE");
      break;
    case ReceiverPage::kControl:
      std::snprintf(lines[0], 64, "MASK [%s]", model.entry);
      std::snprintf(lines[1], 64, "KEY %d", model.lastKey);
      break;
  }
}

}  // namespace

void ApplyKey(ReceiverModel& model, uint8_t code) {
  model.lastKey = code;
  switch (code) {
    case 'L':  // Status
    case 'U':  // two-line ESC
      SelectPage(model, ReceiverPage::kStatus);
      break;
    case 'K':  // SvInfo
    case 'T':  // two-line Right
      SelectPage(model, ReceiverPage::kSatellites);
      break;
    case 'O':  // LogData
    case 'R':  // two-line Up
      SelectPage(model, ReceiverPage::kLogging);
      break;
    case 'J':  // AppFile
    case 'S':  // two-line Down
      SelectPage(model, ReceiverPage::kAppFile);
      break;
    case 'M':  // Control
    case 'Q':  // two-line Enter
      SelectPage(model, ReceiverPage::kControl);
      break;
    case 29:
      MoveCursor(model, -1);
      break;
    case 28:
      MoveCursor(model, 1);
      break;
    case 253:
      MoveCursor(model, -kColumns);
      if (model.page == ReceiverPage::kLogging)
        model.loggingSelected = (model.loggingSelected + 3) % 4;
      break;
    case 254:
      MoveCursor(model, kColumns);
      if (model.page == ReceiverPage::kLogging)
        model.loggingSelected = (model.loggingSelected + 1) % 4;
      break;
    case 127:  // Clear
      model.entryLength = 0;
      model.entry[0] = '\0';
      break;
    case 'P':  // Next
      MoveCursor(model, kColumns - model.cursor % kColumns);
      break;
    default:
      if (code >= '0' && code <= '9') TypeDigit(model, static_cast<char>(code));
      break;
  }
}

void RenderModelScreen(const ReceiverModel& model, uint8_t (&screen)[161]) {
  char lines[4][64] = {};
  if (model.twoLine) {
    TwoLinePage(model, lines);
  } else {
    switch (model.page) {
      case ReceiverPage::kStatus:
        StatusPage(model, lines);
        break;
      case ReceiverPage::kSatellites:
        SatellitesPage(model, lines);
        break;
      case ReceiverPage::kLogging:
        LoggingPage(model, lines);
        break;
      case ReceiverPage::kAppFile:
        AppFilePage(model, lines);
        break;
      case ReceiverPage::kControl:
        ControlPage(model, lines);
        break;
    }
  }
  for (int line = 0; line < 4; ++line) PutLine(screen, line, lines[line]);
  screen[kCells] = static_cast<uint8_t>(model.cursor);
}
