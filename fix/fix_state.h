// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "base/tick.h"

// The receiver's fix as its NMEA sentences tell it: time, position, the class of fix,
// dilution, corrections, motion, error estimates, and each satellite in view with each of
// its signals. Built by ApplySentence from the valid sentences the receive worker
// extracts; nothing is asked of the receiver. A value the sentences have not given (or
// gave malformed) is marked unknown, never guessed. The fix is a statement about now: it
// goes stale when no sentence has told it anything for kFixFreshMs.

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

enum FixQuality {    // GGA's quality indicator, and what other sentences say in its terms
  kUnknownFix = -1,  // no sentence has said
  kNoFix = 0,
  kGpsFix = 1,  // autonomous: named by the systems it uses (FixClassName)
  kDgpsFix = 2,
  kPpsFix = 3,
  kRtkFixed = 4,
  kRtkFloat = 5,
  kEstimatedFix = 6,
  kManualFix = 7,
  kSimulatedFix = 8,
};

// Which sentence a value was taken from. Where several tell it, the one that tells it
// best is taken while it speaks (GGA's quality and HDOP before GNS's, before RMC's and
// GSA's), so that a value does not flip between two sources within a second.
enum FixSource { kFromNone = 0, kFromGsa, kFromRmc, kFromGns, kFromGga };

constexpr int kMaxSatellites = 96;
constexpr int kMaxSignals = 4;          // per satellite: L1, L2, L5...
constexpr Tick kSatelliteAgeMs = 5000;  // not reported for this long: out of view
constexpr Tick kFixFreshMs = 3000;      // no sentence for this long: the fix is stale
constexpr Tick kGsaBurstMs = 40;        // a receiver's GSA sentences for one solution
constexpr double kUnknown = -1;         // for values that are never negative

struct SignalInView {
  int id = 0;    // NMEA 4.10's signal id (1: L1 C/A for GPS...); 0: not said
  int snr = -1;  // C/N0 in dB-Hz; -1 not tracked
  Tick seenAt = 0;
};

struct SatelliteInView {
  uint8_t system = kOtherSystem;
  uint16_t id = 0;     // as the sentences number it
  int elevation = -1;  // degrees, 0..90; -1 unknown
  int azimuth = -1;    // degrees, 0..359; -1 unknown
  int signal = -1;     // the strongest of its signals, C/N0 in dB-Hz; -1 not tracked
  bool used = false;   // in the solution (GSA)
  Tick seenAt = 0;
  SignalInView bySignal[kMaxSignals];
  int signalCount = 0;
};

struct FixState {
  unsigned generation = 0;  // a new one for each receiver: nothing of another's is mixed in
  Tick toldAt = 0;          // the last sentence that told anything
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
  Tick positionAt = 0;                 // when the position was last told
  bool haveAltitude = false;
  double altitude = 0;  // above mean sea level, m
  bool haveSeparation = false;
  double geoidSeparation = 0;  // the geoid above the ellipsoid, m
  int quality = kUnknownFix;
  int qualityFrom = kFromNone;
  Tick qualityAt = 0;
  int mode = 0;                   // GSA: 1 no fix, 2 2D, 3 3D; 0 unknown
  Tick gsaAt = -kGsaBurstMs - 1;  // the last GSA: those that follow within kGsaBurstMs go with it
  int satellitesUsed = -1;        // GGA's (or GNS's) count; -1 unknown
  double hdop = kUnknown, vdop = kUnknown, pdop = kUnknown;
  int hdopFrom = kFromNone;
  Tick hdopAt = 0;
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

// Drops the satellites (and the signals) not reported for kSatelliteAgeMs.
void AgeSatellites(FixState& fix, Tick nowMs);

// Whether the fix speaks of now: a sentence told it something within kFixFreshMs.
bool FixFresh(const FixState& fix, Tick nowMs);

// The receiver's UTC time at `nowMs` (seconds since 1970), from its last instant; false
// when none was told within `freshMs`.
bool ReceiverUtcAt(const FixState& fix, Tick nowMs, Tick freshMs, int64_t& utc);

// Height above the ellipsoid: the altitude plus the geoid separation (both known).
double EllipsoidHeight(const FixState& fix);

// "RTK-fixed", "no fix", "unknown"...; an autonomous fix is "autonomous" here.
const char* FixQualityName(int quality);
// The class of the fix as a user reads it: for an autonomous fix the systems it uses
// ("GPS", "GPS+GLONASS", "GNSS" for more than two), else FixQualityName.
const char* FixClassName(const FixState& fix, char* out, int size);
const char* GnssSystemName(int system);
// "G10", "R07", "E36", "C14", "J02", "S133": the satellite as its system numbers it.
void SatelliteLabel(const SatelliteInView& satellite, char* out, int size);

// A signal by NMEA 4.10's id for its system ("L1 C/A", "L2C-M", "E5b", "B1I"); "" when the
// id says nothing (0, or one not in NMEA's table).
const char* SignalName(int system, int signalId);

// How many satellites of all systems the last GSA sentences named as used.
int SatellitesMarkedUsed(const FixState& fix);
int SatellitesUsed(const FixState& fix);  // those GSA named, else GGA's count

// A dilution as the receiver gave it: "0.6", "1.25", "99.99".
void DopText(double dop, char* out, int size);

// For a status line: "fix RTK-fixed 18 sv HDOP 0.6", "no fix", or, when the fix is not
// fresh or the receiver is not there, "no fix data for 15 s".
void FixSummaryText(const FixState& fix, Tick nowMs, bool receiverThere, char* out, int size);

// The whole fix as lines of text ("Fix         RTK-fixed, 3D", "Latitude    53.36133700 N",
// ...), for a window and the clipboard; a value not told is left out.
void FixReportText(const FixState& fix, char* out, int size);
