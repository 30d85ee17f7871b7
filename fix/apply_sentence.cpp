// SPDX-License-Identifier: BSD-2-Clause
// The sentences that carry the fix, each read by a handler of its own from a table.

#include <cstring>

#include "base/local_time.h"
#include "fix/fix_state.h"
#include "fix/nmea_fields.h"

namespace {

struct Talker {
  const char* code;
  int system;
};

constexpr Talker kTalkers[] = {
    {"GP", kGps},  {"GL", kGlonass}, {"GA", kGalileo}, {"GB", kBeidou}, {"BD", kBeidou},
    {"GQ", kQzss}, {"QZ", kQzss},    {"GI", kNavic},   {"IR", kNavic},  {"GN", kOtherSystem},
};

// The talker's system; kOtherSystem for "GN" (several) and for talkers not known.
int TalkerSystem(const NmeaFields& fields) {
  for (const Talker& talker : kTalkers) {
    if (std::strcmp(fields.talker, talker.code) == 0) return talker.system;
  }
  return kOtherSystem;
}

// NMEA 4.10's system id (GSA field 18, GSV's signal-group sentences use the talker).
int SystemFromId(long id) {
  static constexpr int kById[] = {kOtherSystem, kGps, kGlonass, kGalileo, kBeidou, kQzss, kNavic};
  return id >= 1 && id <= 6 ? kById[id] : kOtherSystem;
}

// Before NMEA 4.10 a "GN" sentence names satellites by number ranges: 1-32 GPS, 33-64 SBAS,
// 65-96 GLONASS.
int SystemFromNumber(long number) {
  if (number >= 1 && number <= 32) return kGps;
  if (number >= 33 && number <= 64) return kSbas;
  if (number >= 65 && number <= 96) return kGlonass;
  if (number >= 193 && number <= 202) return kQzss;
  return kOtherSystem;
}

// The system of a satellite a sentence names: its talker's, but GPS talkers also name the
// SBAS and QZSS satellites they track by their numbers, and "GN" names all so.
int SystemOf(int talkerSystem, long number) {
  if (talkerSystem == kOtherSystem || (talkerSystem == kGps && number > 32))
    return SystemFromNumber(number);
  return talkerSystem;
}

SatelliteInView* FindSatellite(FixState& fix, int system, long id, bool add) {
  for (int i = 0; i < fix.satelliteCount; ++i) {
    SatelliteInView& satellite = fix.satellites[i];
    if (satellite.system == system && satellite.id == id) return &satellite;
  }
  if (!add || fix.satelliteCount == kMaxSatellites) return nullptr;
  SatelliteInView& added = fix.satellites[fix.satelliteCount++];
  added = SatelliteInView();
  added.system = static_cast<uint8_t>(system);
  added.id = static_cast<uint16_t>(id);
  return &added;
}

// A value told by `source` is taken unless a better source told it within kFixFreshMs.
bool TakesOver(int source, int current, Tick currentAt, Tick nowMs) {
  return source >= current || nowMs - currentAt > kFixFreshMs;
}

void SetQuality(FixState& fix, int quality, int source, Tick nowMs) {
  if (!TakesOver(source, fix.qualityFrom, fix.qualityAt, nowMs)) return;
  fix.quality = quality;
  fix.qualityFrom = source;
  fix.qualityAt = nowMs;
}

void SetHdop(FixState& fix, const NmeaFields& fields, int index, int source, Tick nowMs) {
  double hdop;
  if (!FieldNumber(fields, index, hdop) || hdop < 0 || hdop > 99.99) return;
  if (!TakesOver(source, fix.hdopFrom, fix.hdopAt, nowMs)) return;
  fix.hdop = hdop;
  fix.hdopFrom = source;
  fix.hdopAt = nowMs;
}

// NMEA 2.3's mode indicator (RMC, GNS per system) in GGA's terms.
int QualityOfMode(char mode) {
  switch (mode) {
    case 'N':
      return kNoFix;
    case 'A':
      return kGpsFix;
    case 'D':
      return kDgpsFix;
    case 'P':
      return kPpsFix;
    case 'R':
      return kRtkFixed;
    case 'F':
      return kRtkFloat;
    case 'E':
      return kEstimatedFix;
    case 'M':
      return kManualFix;
    case 'S':
      return kSimulatedFix;
    default:
      return kUnknownFix;
  }
}

// Of GNS's letters, one a system, the best fix any system has.
int QualityOfModes(const NmeaFields& fields, int index) {
  if (FieldEmpty(fields, index)) return kUnknownFix;
  static const int kRank[] = {0, 2, 4, 3, 7, 6, 1, 1, 1};  // by quality: how good a fix
  int best = kUnknownFix;
  for (int i = 0; i < fields.length[index]; ++i) {
    int quality = QualityOfMode(fields.start[index][i]);
    if (quality != kUnknownFix && (best == kUnknownFix || kRank[quality] > kRank[best]))
      best = quality;
  }
  return best;
}

void ReadTime(const NmeaFields& fields, int index, FixState& fix) {
  if (FieldTimeOfDay(fields, index, fix.utcSeconds)) fix.haveTime = true;
}

// A sentence that gives the date and the time of day together tells an instant.
void ReadInstant(const NmeaFields& fields, int timeIndex, int year, int month, int day,
                 FixState& fix, Tick nowMs) {
  double seconds;
  if (!FieldTimeOfDay(fields, timeIndex, seconds) || !ValidCivilDate(year, month, day)) return;
  fix.instantUtc = UtcSeconds(year, month, day, 0, 0, static_cast<int>(seconds));
  fix.instantTick = nowMs;
  fix.haveInstant = true;
}

void ReadPosition(const NmeaFields& fields, int index, FixState& fix, Tick nowMs) {
  double latitude, longitude;
  if (FieldAngle(fields, index, 90, latitude) && FieldAngle(fields, index + 2, 180, longitude)) {
    fix.latitude = latitude;
    fix.longitude = longitude;
    fix.havePosition = true;
    fix.positionAt = nowMs;
  }
}

// A value that is never negative, taken when it reads and lies within [0, high].
void ReadPositive(const NmeaFields& fields, int index, double high, double& value) {
  double read;
  if (FieldNumber(fields, index, read) && read >= 0 && read <= high) value = read;
}

// Altitude, geoid separation, correction age and station: the tail that GGA and GNS share.
// The altitude stands without the separation (receivers that leave it empty).
void ReadHeightAndCorrections(const NmeaFields& fields, int altitude, int separationAt, int age,
                              FixState& fix) {
  double above, separation;
  if (FieldNumber(fields, altitude, above) && above > -1000 && above < 100000) {
    fix.altitude = above;
    fix.haveAltitude = true;
  }
  fix.haveSeparation =
      FieldNumber(fields, separationAt, separation) && separation > -200 && separation < 200;
  if (fix.haveSeparation) fix.geoidSeparation = separation;
  fix.correctionAge = kUnknown;
  ReadPositive(fields, age, 9999, fix.correctionAge);
  long station;
  fix.stationId = FieldInteger(fields, age + 1, 0, 4095, station) ? static_cast<int>(station) : -1;
}

// $--GGA,time,lat,N,lon,E,quality,satellites,hdop,altitude,M,separation,M,age,station
void ReadGga(const NmeaFields& fields, FixState& fix, Tick nowMs) {
  ReadTime(fields, 1, fix);
  ReadPosition(fields, 2, fix, nowMs);
  long quality, used;
  if (FieldInteger(fields, 6, 0, 8, quality))
    SetQuality(fix, static_cast<int>(quality), kFromGga, nowMs);
  if (FieldInteger(fields, 7, 0, 99, used)) fix.satellitesUsed = static_cast<int>(used);
  SetHdop(fix, fields, 8, kFromGga, nowMs);
  ReadHeightAndCorrections(fields, 9, 11, 13, fix);
}

// $--GNS,time,lat,N,lon,E,mode letters,satellites,hdop,altitude,separation,age,station
void ReadGns(const NmeaFields& fields, FixState& fix, Tick nowMs) {
  ReadTime(fields, 1, fix);
  ReadPosition(fields, 2, fix, nowMs);
  int quality = QualityOfModes(fields, 6);
  if (quality != kUnknownFix) SetQuality(fix, quality, kFromGns, nowMs);
  long used;
  if (FieldInteger(fields, 7, 0, 99, used) && fix.qualityFrom <= kFromGns)
    fix.satellitesUsed = static_cast<int>(used);
  SetHdop(fix, fields, 8, kFromGns, nowMs);
  if (fix.qualityFrom <= kFromGns) ReadHeightAndCorrections(fields, 9, 10, 11, fix);
}

// $--RMC,time,status,lat,N,lon,E,speed,course,date,variation,E[,mode[,navigational status]]
void ReadRmc(const NmeaFields& fields, FixState& fix, Tick nowMs) {
  ReadTime(fields, 1, fix);
  char status = 0, mode = 0;
  bool valid = FieldLetter(fields, 2, status) && status == 'A';
  if (valid) ReadPosition(fields, 3, fix, nowMs);
  int quality = FieldLetter(fields, 12, mode) ? QualityOfMode(mode) : kUnknownFix;
  if (quality == kUnknownFix && status != 0) quality = valid ? kGpsFix : kNoFix;
  if (quality != kUnknownFix) SetQuality(fix, quality, kFromRmc, nowMs);
  ReadPositive(fields, 7, 9999, fix.speedKnots);
  ReadPositive(fields, 8, 360, fix.course);
  if (!FieldDate(fields, 9, fix.year, fix.month, fix.day)) return;
  fix.haveDate = true;
  if (valid) ReadInstant(fields, 1, fix.year, fix.month, fix.day, fix, nowMs);
}

// $--VTG,course,T,magnetic,M,knots,N,km/h,K[,mode]
void ReadVtg(const NmeaFields& fields, FixState& fix, Tick) {
  ReadPositive(fields, 1, 360, fix.course);
  ReadPositive(fields, 5, 9999, fix.speedKnots);
}

// $--GSA,selection,mode,12 satellite numbers,pdop,hdop,vdop[,system id]
void ReadGsa(const NmeaFields& fields, FixState& fix, Tick nowMs) {
  long mode, systemId;
  if (FieldInteger(fields, 2, 1, 3, mode)) {
    fix.mode = static_cast<int>(mode);
    SetQuality(fix, mode == 1 ? kNoFix : kGpsFix, kFromGsa, nowMs);  // a fix, of some class
  }
  ReadPositive(fields, 15, 99.99, fix.pdop);
  SetHdop(fix, fields, 16, kFromGsa, nowMs);
  ReadPositive(fields, 17, 99.99, fix.vdop);
  int system = TalkerSystem(fields);
  bool byId = FieldInteger(fields, 18, 1, 6, systemId);
  if (byId) system = SystemFromId(systemId);
  // The GSA sentences of one solution come together: the first of a new burst starts the
  // used satellites afresh, and one for a system names every used satellite of it.
  bool newSolution = nowMs - fix.gsaAt > kGsaBurstMs;
  fix.gsaAt = nowMs;
  bool perNumber = system == kOtherSystem;
  for (int i = 0; i < fix.satelliteCount; ++i) {
    if (newSolution || (!perNumber && fix.satellites[i].system == system))
      fix.satellites[i].used = false;
  }
  for (int index = 3; index < 15; ++index) {
    long number;
    if (!FieldInteger(fields, index, 1, 999, number)) continue;
    int of = perNumber ? SystemFromNumber(number) : SystemOf(system, number);
    SatelliteInView* satellite = FindSatellite(fix, of, number, true);  // used: in view too
    if (satellite == nullptr) continue;
    satellite->used = true;
    satellite->seenAt = nowMs;
  }
}

// The satellite's strongest signal now.
void TakeStrongest(SatelliteInView& satellite) {
  satellite.signal = -1;
  for (int i = 0; i < satellite.signalCount; ++i) {
    if (satellite.bySignal[i].snr > satellite.signal) satellite.signal = satellite.bySignal[i].snr;
  }
}

// One signal's strength: each signal of a satellite has its own (NMEA 4.10 sends a GSV
// group per signal), so that the second signal's empty field does not erase the first's.
void ReadSignal(SatelliteInView& satellite, int signalId, const NmeaFields& fields, int index,
                Tick nowMs) {
  SignalInView* slot = nullptr;
  for (int i = 0; i < satellite.signalCount && slot == nullptr; ++i) {
    if (satellite.bySignal[i].id == signalId) slot = &satellite.bySignal[i];
  }
  if (slot == nullptr && satellite.signalCount < kMaxSignals) {
    slot = &satellite.bySignal[satellite.signalCount++];
    slot->id = signalId;
  }
  if (slot == nullptr) return;
  long snr;
  slot->snr = FieldInteger(fields, index, 0, 99, snr) ? static_cast<int>(snr) : -1;
  slot->seenAt = nowMs;
  TakeStrongest(satellite);
}

// $--GSV,sentences,number,in view,{id,elevation,azimuth,signal} x 1..4[,signal id]
void ReadGsv(const NmeaFields& fields, FixState& fix, Tick nowMs) {
  long inView, signalId = 0;
  int system = TalkerSystem(fields);
  if (FieldInteger(fields, 3, 0, 99, inView)) fix.inView[system] = static_cast<int>(inView);
  int end = fields.count;
  if ((fields.count - 4) % 4 == 1) {  // NMEA 4.10: the signal id closes the sentence
    --end;
    if (!FieldInteger(fields, end, 0, 15, signalId)) signalId = 0;
  }
  for (int index = 4; index < end; index += 4) {
    long id, elevation, azimuth;
    if (!FieldInteger(fields, index, 1, 999, id)) continue;
    int of = SystemOf(system, id);
    SatelliteInView* satellite = FindSatellite(fix, of, id, true);
    if (satellite == nullptr) return;  // the table is full: the rest waits for ageing
    satellite->seenAt = nowMs;
    if (FieldInteger(fields, index + 1, -90, 90, elevation))
      satellite->elevation = static_cast<int>(elevation);
    if (FieldInteger(fields, index + 2, 0, 359, azimuth))
      satellite->azimuth = static_cast<int>(azimuth);
    ReadSignal(*satellite, static_cast<int>(signalId), fields, index + 3, nowMs);
  }
}

// $--GST,time,rms,major,minor,orientation,sigma latitude,sigma longitude,sigma height
void ReadGst(const NmeaFields& fields, FixState& fix, Tick) {
  ReadPositive(fields, 6, 99999, fix.sigmaLatitude);
  ReadPositive(fields, 7, 99999, fix.sigmaLongitude);
  ReadPositive(fields, 8, 99999, fix.sigmaHeight);
}

// $--ZDA,time,day,month,year,zone hours,zone minutes
void ReadZda(const NmeaFields& fields, FixState& fix, Tick nowMs) {
  ReadTime(fields, 1, fix);
  long day, month, year;
  if (FieldInteger(fields, 2, 1, 31, day) && FieldInteger(fields, 3, 1, 12, month) &&
      FieldInteger(fields, 4, 1980, 2200, year)) {
    fix.day = static_cast<int>(day);
    fix.month = static_cast<int>(month);
    fix.year = static_cast<int>(year);
    fix.haveDate = true;
    ReadInstant(fields, 1, fix.year, fix.month, fix.day, fix, nowMs);
  }
}

struct SentenceReader {
  const char* type;
  void (*read)(const NmeaFields& fields, FixState& fix, Tick nowMs);
};

constexpr SentenceReader kReaders[] = {
    {"GGA", ReadGga}, {"RMC", ReadRmc}, {"GSA", ReadGsa}, {"GSV", ReadGsv},
    {"GST", ReadGst}, {"VTG", ReadVtg}, {"GNS", ReadGns}, {"ZDA", ReadZda},
};

}  // namespace

int ApplySentence(FixState& fix, const char* sentence, Tick nowMs) {
  NmeaFields fields;
  if (!SplitSentence(sentence, fields)) return 0;
  for (const SentenceReader& reader : kReaders) {
    if (std::strcmp(fields.type, reader.type) != 0) continue;
    reader.read(fields, fix, nowMs);
    ++fix.sentences;
    fix.toldAt = nowMs;
    return 1;
  }
  return 0;
}

bool FixFresh(const FixState& fix, Tick nowMs) {
  return fix.sentences > 0 && nowMs - fix.toldAt <= kFixFreshMs;
}

bool ReceiverUtcAt(const FixState& fix, Tick nowMs, Tick freshMs, int64_t& utc) {
  if (!fix.haveInstant || nowMs - fix.instantTick > freshMs) return false;
  utc = fix.instantUtc + (nowMs - fix.instantTick) / 1000;
  return true;
}

void AgeSatellites(FixState& fix, Tick nowMs) {
  int kept = 0;
  for (int i = 0; i < fix.satelliteCount; ++i) {
    SatelliteInView& satellite = fix.satellites[i];
    if (nowMs - satellite.seenAt > kSatelliteAgeMs) continue;
    int signals = 0;
    for (int j = 0; j < satellite.signalCount; ++j) {
      if (nowMs - satellite.bySignal[j].seenAt <= kSatelliteAgeMs)
        satellite.bySignal[signals++] = satellite.bySignal[j];
    }
    satellite.signalCount = signals;
    TakeStrongest(satellite);
    fix.satellites[kept++] = satellite;
  }
  fix.satelliteCount = kept;
}
