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
  return kOtherSystem;
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

void ReadPosition(const NmeaFields& fields, int index, FixState& fix) {
  double latitude, longitude;
  if (FieldAngle(fields, index, 90, latitude) && FieldAngle(fields, index + 2, 180, longitude)) {
    fix.latitude = latitude;
    fix.longitude = longitude;
    fix.havePosition = true;
  }
}

// A value that is never negative, taken when it reads and lies within [0, high].
void ReadPositive(const NmeaFields& fields, int index, double high, double& value) {
  double read;
  if (FieldNumber(fields, index, read) && read >= 0 && read <= high) value = read;
}

// Altitude, geoid separation, correction age and station: the tail that GGA and GNS share.
void ReadHeightAndCorrections(const NmeaFields& fields, int altitude, int separationAt, int age,
                              FixState& fix) {
  double above, separation;
  if (FieldNumber(fields, altitude, above) && FieldNumber(fields, separationAt, separation) &&
      above > -1000 && above < 100000 && separation > -200 && separation < 200) {
    fix.altitude = above;
    fix.geoidSeparation = separation;
    fix.haveHeight = true;
  }
  fix.correctionAge = kUnknown;
  ReadPositive(fields, age, 9999, fix.correctionAge);
  long station;
  fix.stationId = FieldInteger(fields, age + 1, 0, 4095, station) ? static_cast<int>(station) : -1;
}

// $--GGA,time,lat,N,lon,E,quality,satellites,hdop,altitude,M,separation,M,age,station
void ReadGga(const NmeaFields& fields, FixState& fix, Tick) {
  ReadTime(fields, 1, fix);
  ReadPosition(fields, 2, fix);
  long quality, used;
  if (FieldInteger(fields, 6, 0, 8, quality)) fix.quality = static_cast<int>(quality);
  if (FieldInteger(fields, 7, 0, 99, used)) fix.satellitesUsed = static_cast<int>(used);
  ReadPositive(fields, 8, 99.99, fix.hdop);
  ReadHeightAndCorrections(fields, 9, 11, 13, fix);
}

// $--GNS,time,lat,N,lon,E,mode letters,satellites,hdop,altitude,separation,age,station
void ReadGns(const NmeaFields& fields, FixState& fix, Tick) {
  ReadTime(fields, 1, fix);
  ReadPosition(fields, 2, fix);
  long used;
  if (FieldInteger(fields, 7, 0, 99, used)) fix.satellitesUsed = static_cast<int>(used);
  ReadPositive(fields, 8, 99.99, fix.hdop);
  ReadHeightAndCorrections(fields, 9, 10, 11, fix);
}

// $--RMC,time,status,lat,N,lon,E,speed,course,date,variation,E[,mode]
void ReadRmc(const NmeaFields& fields, FixState& fix, Tick nowMs) {
  ReadTime(fields, 1, fix);
  char status = 0;
  bool valid = FieldLetter(fields, 2, status) && status == 'A';
  if (valid) ReadPosition(fields, 3, fix);
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
void ReadGsa(const NmeaFields& fields, FixState& fix, Tick) {
  long mode, systemId;
  if (FieldInteger(fields, 2, 1, 3, mode)) fix.mode = static_cast<int>(mode);
  ReadPositive(fields, 15, 99.99, fix.pdop);
  ReadPositive(fields, 16, 99.99, fix.hdop);
  ReadPositive(fields, 17, 99.99, fix.vdop);
  int system = TalkerSystem(fields);
  bool byId = FieldInteger(fields, 18, 1, 6, systemId);
  if (byId) system = SystemFromId(systemId);
  // This sentence names every used satellite of its system: the others are not used.
  bool perNumber = system == kOtherSystem;
  for (int i = 0; i < fix.satelliteCount && !perNumber; ++i) {
    if (fix.satellites[i].system == system) fix.satellites[i].used = false;
  }
  for (int index = 3; index < 15; ++index) {
    long number;
    if (!FieldInteger(fields, index, 1, 999, number)) continue;
    int of = perNumber ? SystemFromNumber(number) : system;
    SatelliteInView* satellite = FindSatellite(fix, of, number, false);
    if (satellite != nullptr) satellite->used = true;
  }
}

// $--GSV,sentences,number,in view,{id,elevation,azimuth,signal} x 1..4[,signal id]
void ReadGsv(const NmeaFields& fields, FixState& fix, Tick nowMs) {
  long inView;
  int system = TalkerSystem(fields);
  if (FieldInteger(fields, 3, 0, 99, inView)) fix.inView[system] = static_cast<int>(inView);
  for (int index = 4; index <= 16 && index < fields.count; index += 4) {
    long id, elevation, azimuth, signal;
    if (!FieldInteger(fields, index, 1, 999, id)) continue;
    int of = system == kOtherSystem ? SystemFromNumber(id) : system;
    SatelliteInView* satellite = FindSatellite(fix, of, id, true);
    if (satellite == nullptr) return;  // the table is full: the rest waits for ageing
    satellite->seenAt = nowMs;
    satellite->elevation =
        FieldInteger(fields, index + 1, -90, 90, elevation) ? static_cast<int>(elevation) : -1;
    satellite->azimuth =
        FieldInteger(fields, index + 2, 0, 359, azimuth) ? static_cast<int>(azimuth) : -1;
    satellite->signal =
        FieldInteger(fields, index + 3, 0, 99, signal) ? static_cast<int>(signal) : -1;
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
    return 1;
  }
  return 0;
}

bool ReceiverUtcAt(const FixState& fix, Tick nowMs, Tick freshMs, int64_t& utc) {
  if (!fix.haveInstant || nowMs - fix.instantTick > freshMs) return false;
  utc = fix.instantUtc + (nowMs - fix.instantTick) / 1000;
  return true;
}

void AgeSatellites(FixState& fix, Tick nowMs) {
  int kept = 0;
  for (int i = 0; i < fix.satelliteCount; ++i) {
    if (nowMs - fix.satellites[i].seenAt > kSatelliteAgeMs) continue;
    fix.satellites[kept++] = fix.satellites[i];
  }
  fix.satelliteCount = kept;
}
