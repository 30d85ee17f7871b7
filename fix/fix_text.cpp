// SPDX-License-Identifier: BSD-2-Clause
#include <cstdio>

#include "fix/fix_state.h"

double EllipsoidHeight(const FixState& fix) {
  return fix.altitude + fix.geoidSeparation;
}

const char* FixQualityName(int quality) {
  static const char* const kNames[] = {"no fix",    "GPS",       "DGPS",   "PPS",      "RTK-fixed",
                                       "RTK-float", "estimated", "manual", "simulated"};
  return quality >= 0 && quality <= kSimulatedFix ? kNames[quality] : "unknown";
}

const char* GnssSystemName(int system) {
  static const char* const kNames[] = {"GPS",  "GLONASS", "Galileo", "BeiDou",
                                       "QZSS", "NavIC",   "SBAS",    "other"};
  return system >= 0 && system < kGnssSystems ? kNames[system] : "other";
}

int SatellitesMarkedUsed(const FixState& fix) {
  int used = 0;
  for (int i = 0; i < fix.satelliteCount; ++i) used += fix.satellites[i].used;
  return used;
}

void FixSummaryText(const FixState& fix, char* out, int size) {
  if (size <= 0) return;
  size_t room = static_cast<size_t>(size);
  if (fix.quality == kNoFix) {
    std::snprintf(out, room, "no fix");
    return;
  }
  int used = fix.satellitesUsed >= 0 ? fix.satellitesUsed : SatellitesMarkedUsed(fix);
  int n = std::snprintf(out, room, "fix %s %d sv", FixQualityName(fix.quality), used);
  if (fix.hdop >= 0 && n > 0 && static_cast<size_t>(n) < room) {
    std::snprintf(out + n, room - static_cast<size_t>(n), " HDOP %.1f", fix.hdop);
  }
}
