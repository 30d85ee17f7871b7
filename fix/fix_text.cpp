// SPDX-License-Identifier: BSD-2-Clause
#include <cstdio>

#include "base/append_text.h"
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

void FixReportText(const FixState& fix, char* out, int size) {
  if (size <= 0) return;
  int used = 0;
  out[0] = '\0';
  const char* mode = fix.mode == 3 ? ", 3D" : fix.mode == 2 ? ", 2D" : "";
  AppendText(out, size, used, "Fix         %s%s\n", FixQualityName(fix.quality), mode);
  if (fix.haveTime) {
    int seconds = static_cast<int>(fix.utcSeconds);
    if (fix.haveDate)
      AppendText(out, size, used, "Time        %04d-%02d-%02d ", fix.year, fix.month, fix.day);
    else
      AppendText(out, size, used, "Time        ");
    AppendText(out, size, used, "%02d:%02d:%02d UTC\n", seconds / 3600, seconds / 60 % 60,
               seconds % 60);
  }
  if (fix.havePosition) {
    AppendText(out, size, used, "Latitude    %.8f %c\nLongitude   %.8f %c\n",
               fix.latitude < 0 ? -fix.latitude : fix.latitude, fix.latitude < 0 ? 'S' : 'N',
               fix.longitude < 0 ? -fix.longitude : fix.longitude, fix.longitude < 0 ? 'W' : 'E');
  }
  if (fix.haveHeight) {
    AppendText(out, size, used, "Height      %.3f m above the ellipsoid (%.3f m above the geoid)\n",
               EllipsoidHeight(fix), fix.altitude);
  }
  AppendText(out, size, used, "Satellites  %d used; in view:",
             fix.satellitesUsed >= 0 ? fix.satellitesUsed : SatellitesMarkedUsed(fix));
  for (int system = 0; system < kGnssSystems; ++system) {
    int inView = 0;
    for (int i = 0; i < fix.satelliteCount; ++i) inView += fix.satellites[i].system == system;
    if (inView > 0) AppendText(out, size, used, " %s %d", GnssSystemName(system), inView);
  }
  AppendText(out, size, used, "\n");
  if (fix.hdop >= 0 || fix.pdop >= 0 || fix.vdop >= 0) {
    AppendText(out, size, used, "DOP         PDOP %.1f  HDOP %.1f  VDOP %.1f\n", fix.pdop, fix.hdop,
               fix.vdop);
  }
  if (fix.correctionAge >= 0) {
    AppendText(out, size, used, "Corrections %.1f s old, station %d\n", fix.correctionAge,
               fix.stationId);
  }
  if (fix.speedKnots >= 0) {
    AppendText(out, size, used, "Motion      %.2f km/h", fix.speedKnots * 1.852);
    if (fix.course >= 0) AppendText(out, size, used, ", course %.1f deg", fix.course);
    AppendText(out, size, used, "\n");
  }
  if (fix.sigmaLatitude >= 0 && fix.sigmaLongitude >= 0) {
    AppendText(out, size, used, "Error (1 sd) north %.3f m  east %.3f m", fix.sigmaLatitude,
               fix.sigmaLongitude);
    if (fix.sigmaHeight >= 0) AppendText(out, size, used, "  height %.3f m", fix.sigmaHeight);
    AppendText(out, size, used, "\n");
  }
}
