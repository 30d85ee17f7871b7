// SPDX-License-Identifier: BSD-2-Clause
#include <cstdio>
#include <cstring>

#include "base/append_text.h"
#include "fix/fix_state.h"

namespace {

const char* SourceName(int source) {
  static const char* const kNames[] = {"", "GSA", "RMC", "GNS", "GGA"};
  return source > kFromNone && source <= kFromGga ? kNames[source] : "";
}

// The systems of the satellites used, as a mask.
unsigned SystemsUsed(const FixState& fix) {
  unsigned systems = 0;
  for (int i = 0; i < fix.satelliteCount; ++i) {
    if (fix.satellites[i].used) systems |= 1u << fix.satellites[i].system;
  }
  return systems;
}

}  // namespace

double EllipsoidHeight(const FixState& fix) {
  return fix.altitude + fix.geoidSeparation;
}

const char* FixQualityName(int quality) {
  static const char* const kNames[] = {"no fix",    "autonomous", "DGPS",   "PPS",      "RTK-fixed",
                                       "RTK-float", "estimated",  "manual", "simulated"};
  return quality >= 0 && quality <= kSimulatedFix ? kNames[quality] : "unknown";
}

const char* FixClassName(const FixState& fix, char* out, int size) {
  if (fix.quality != kGpsFix) return FixQualityName(fix.quality);
  unsigned systems = SystemsUsed(fix);
  int count = 0;
  for (int system = 0; system < kGnssSystems; ++system) count += (systems >> system) & 1;
  if (count == 0) return FixQualityName(fix.quality);
  if (count > 2) return "GNSS";
  int used = 0;
  out[0] = '\0';
  for (int system = 0; system < kGnssSystems; ++system) {
    if ((systems >> system) & 1)
      AppendText(out, size, used, "%s%s", used > 0 ? "+" : "", GnssSystemName(system));
  }
  return out;
}

const char* SignalName(int system, int signalId) {
  // NMEA 0183 4.10's signal ids, 1 to 12, for each system that has them.
  static const struct {
    int system;
    const char* names[12];
  } kSignals[] = {
      {kGps, {"L1 C/A", "L1 P(Y)", "L1 M", "L2 P(Y)", "L2C-M", "L2C-L", "L5-I", "L5-Q"}},
      {kGlonass, {"G1 C/A", "G1 P", "G2 C/A", "G2 P"}},
      {kGalileo, {"E5a", "E5b", "E5 a+b", "E6-A", "E6-BC", "L1-A", "L1-BC"}},
      {kBeidou,
       {"B1I", "B1Q", "B1C", "B1A", "B2-a", "B2-b", "B2 a+b", "B3I", "B3Q", "B3A", "B2I", "B2Q"}},
      {kQzss,
       {"L1 C/A", "L1C (D)", "L1C (P)", "LIS", "L2C-M", "L2C-L", "L5-I", "L5-Q", "L6D", "L6E"}},
      {kNavic, {"L5-SPS", "S-SPS", "L5-RS", "S-RS", "L1-SPS"}},
  };
  for (const auto& entry : kSignals) {
    if (entry.system != system || signalId < 1 || signalId > 12) continue;
    const char* name = entry.names[signalId - 1];
    return name != nullptr ? name : "";
  }
  return "";
}

const char* GnssSystemName(int system) {
  static const char* const kNames[] = {"GPS",  "GLONASS", "Galileo", "BeiDou",
                                       "QZSS", "NavIC",   "SBAS",    "other"};
  return system >= 0 && system < kGnssSystems ? kNames[system] : "other";
}

void SatelliteLabel(const SatelliteInView& satellite, char* out, int size) {
  static const char* const kPrefix[] = {"G", "R", "E", "C", "J", "I", "S", "X"};  // by GnssSystem
  int number = satellite.id;
  switch (satellite.system) {
    case kGlonass:
      if (number > 64 && number <= 96) number -= 64;  // NMEA numbers GLONASS 65 to 96
      break;
    case kSbas:
      if (number >= 33 && number <= 64) number += 87;  // PRN 120 to 151
      break;
    case kQzss:
      if (number >= 193) number -= 192;
      break;
    case kBeidou:
      if (number > 200) number -= 200;
      break;
    case kGalileo:
      if (number > 300) number -= 300;
      break;
    default:
      break;
  }
  std::snprintf(out, static_cast<size_t>(size), "%s%02d",
                kPrefix[satellite.system < kGnssSystems ? satellite.system : int{kOtherSystem}],
                number);
}

int SatellitesMarkedUsed(const FixState& fix) {
  int used = 0;
  for (int i = 0; i < fix.satelliteCount; ++i) used += fix.satellites[i].used;
  return used;
}

// GSA names each satellite used, of every system; GGA's count stops at 12 on many
// receivers and counts one system only on some (a GLGGA beside a GPGGA).
int SatellitesUsed(const FixState& fix) {
  int marked = SatellitesMarkedUsed(fix);
  return marked > 0 || fix.satellitesUsed < 0 ? marked : fix.satellitesUsed;
}

void DopText(double dop, char* out, int size) {
  std::snprintf(out, static_cast<size_t>(size), "%.2f", dop);
  char* end = out + std::strlen(out);
  while (end - out > 3 && end[-1] == '0' && end[-2] != '.') *--end = '\0';  // "0.60": "0.6"
}

void FixSummaryText(const FixState& fix, Tick nowMs, bool receiverThere, char* out, int size) {
  if (size <= 0) return;
  size_t room = static_cast<size_t>(size);
  if (!receiverThere || !FixFresh(fix, nowMs)) {
    long long quiet = (nowMs - fix.toldAt) / 1000;
    std::snprintf(out, room, fix.sentences == 0 ? "no fix data" : "no fix data for %lld s", quiet);
    return;
  }
  if (fix.quality == kNoFix || fix.quality == kUnknownFix) {
    std::snprintf(out, room, fix.quality == kNoFix ? "no fix" : "fix unknown");
    return;
  }
  char name[48];
  int n = std::snprintf(out, room, "fix %s %d sv", FixClassName(fix, name, sizeof name),
                        SatellitesUsed(fix));
  if (fix.hdop >= 0 && n > 0 && static_cast<size_t>(n) < room) {
    char hdop[16];
    DopText(fix.hdop, hdop, sizeof hdop);
    std::snprintf(out + n, room - static_cast<size_t>(n), " HDOP %s", hdop);
  }
}

void FixReportText(const FixState& fix, char* out, int size) {
  if (size <= 0) return;
  int used = 0;
  out[0] = '\0';
  const char* mode = fix.mode == 3 ? ", 3D" : fix.mode == 2 ? ", 2D" : "";
  char name[48];
  AppendText(out, size, used, "Fix         %s%s", FixClassName(fix, name, sizeof name), mode);
  if (fix.qualityFrom != kFromNone)
    AppendText(out, size, used, " (%s)", SourceName(fix.qualityFrom));
  AppendText(out, size, used, "\n");
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
  if (fix.haveAltitude) {
    AppendText(out, size, used, "Height      %.3f m above mean sea level\n", fix.altitude);
    if (fix.haveSeparation)
      AppendText(out, size, used, "            %.3f m above the ellipsoid\n", EllipsoidHeight(fix));
  }
  AppendText(out, size, used, "Satellites  %d used, %d in view\n", SatellitesUsed(fix),
             fix.satelliteCount);
  for (int system = 0; system < kGnssSystems; ++system) {
    int inView = 0, inUse = 0;
    for (int i = 0; i < fix.satelliteCount; ++i) {
      inView += fix.satellites[i].system == system;
      inUse += fix.satellites[i].system == system && fix.satellites[i].used;
    }
    if (inView > 0)
      AppendText(out, size, used, "  %-9s %2d used of %2d\n", GnssSystemName(system), inUse,
                 inView);
  }
  if (fix.hdop >= 0 || fix.pdop >= 0 || fix.vdop >= 0) {
    AppendText(out, size, used, "DOP        ");
    const struct {
      const char* name;
      double value;
    } dops[] = {{"PDOP", fix.pdop}, {"HDOP", fix.hdop}, {"VDOP", fix.vdop}};
    for (const auto& dop : dops) {
      if (dop.value < 0) continue;
      char text[16];
      DopText(dop.value, text, sizeof text);
      AppendText(out, size, used, " %s %s", dop.name, text);
      if (dop.value == fix.hdop && dop.name[0] == 'H' && fix.hdopFrom != kFromNone)
        AppendText(out, size, used, " (%s)", SourceName(fix.hdopFrom));
    }
    AppendText(out, size, used, "\n");
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
