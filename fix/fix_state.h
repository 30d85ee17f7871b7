// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "base/tick.h"

// The receiver's fix as its NMEA sentences tell it: time, position, quality, dilution,
// corrections, motion, error estimates, and each satellite in view. Built by ApplySentence
// from the valid sentences the receive worker extracts; nothing is asked of the receiver.
// A value the sentences have not given (or gave malformed) is marked unknown, never guessed.

enum GnssSystem {
  kGps = 0,
  kGlonass,
  kGalileo,
  kBeidou,
  kQzss,
  kNavic,
  kSbas,
  kOtherSystem,
  kGnssSystems,
};

enum FixQuality {  // GGA's quality indicator
  kNoFix = 0,
  kGpsFix = 1,
  kDgpsFix = 2,
  kPpsFix = 3,
  kRtkFixed = 4,
  kRtkFloat = 5,
  kEstimatedFix = 6,
  kManualFix = 7,
  kSimulatedFix = 8,
};

constexpr int kMaxSatellites = 96;
constexpr Tick kSatelliteAgeMs = 5000;  // not reported for this long: out of view
constexpr double kUnknown = -1;         // for values that are never negative

struct SatelliteInView {
  uint8_t system = kOtherSystem;
  uint16_t id = 0;
  int elevation = -1;  // degrees, 0..90; -1 unknown
  int azimuth = -1;    // degrees, 0..359; -1 unknown
  int signal = -1;     // C/N0 in dB-Hz; -1 not tracked
  bool used = false;   // in the solution (GSA)
  Tick seenAt = 0;
};

struct FixState {
  bool haveTime = false;
  double utcSeconds = 0;  // since midnight
  bool haveDate = false;
  int year = 0, month = 0, day = 0;
  // The receiver's date and time as one instant (from RMC with a valid fix, or ZDA) and the
  // tick it was told at: a clock to hold the system's against.
  bool haveInstant = false;
  int64_t instantUtc = 0;  // seconds since 1970
  Tick instantTick = 0;
  bool havePosition = false;
  double latitude = 0, longitude = 0;  // degrees, south and west negative
  bool haveHeight = false;
  double altitude = 0;         // above mean sea level, m
  double geoidSeparation = 0;  // the geoid above the ellipsoid, m
  int quality = kNoFix;
  int mode = 0;             // GSA: 1 no fix, 2 2D, 3 3D; 0 unknown
  int satellitesUsed = -1;  // GGA's count; -1 unknown
  double hdop = kUnknown, vdop = kUnknown, pdop = kUnknown;
  double correctionAge = kUnknown;  // seconds since the last differential correction
  int stationId = -1;
  double speedKnots = kUnknown, course = kUnknown;  // course over ground, degrees true
  double sigmaLatitude = kUnknown, sigmaLongitude = kUnknown, sigmaHeight = kUnknown;  // GST, m
  int inView[kGnssSystems] = {};  // GSV's count per system
  SatelliteInView satellites[kMaxSatellites];
  int satelliteCount = 0;
  unsigned long sentences = 0;  // sentences that changed something
};

// Reads one valid sentence ("$GNGGA,...*hh", as extracted) into the state. 1 when it was
// one of GGA, RMC, GSA, GSV, GST, VTG, GNS, ZDA; 0 otherwise (left alone).
int ApplySentence(FixState& fix, const char* sentence, Tick nowMs);

// Drops the satellites not reported for kSatelliteAgeMs.
void AgeSatellites(FixState& fix, Tick nowMs);

// The receiver's UTC time at `nowMs` (seconds since 1970), from its last instant; false
// when none was told within `freshMs`.
bool ReceiverUtcAt(const FixState& fix, Tick nowMs, Tick freshMs, int64_t& utc);

// Height above the ellipsoid: the altitude plus the geoid separation.
double EllipsoidHeight(const FixState& fix);

// "RTK-fixed", "no fix"...
const char* FixQualityName(int quality);
const char* GnssSystemName(int system);

// How many satellites of all systems the last GSA sentences named as used.
int SatellitesMarkedUsed(const FixState& fix);

// For a status line: "fix RTK-fixed 18 sv HDOP 0.6", or "no fix".
void FixSummaryText(const FixState& fix, char* out, int size);

// The whole fix as lines of text ("Fix         RTK-fixed, 3D", "Latitude    53.36133700 N",
// ...), for a window and the clipboard; a value not told is left out.
void FixReportText(const FixState& fix, char* out, int size);
