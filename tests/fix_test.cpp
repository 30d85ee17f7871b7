// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fix/fix_state.h"
#include "fix/fix_timeline.h"
#include "fix/nmea_fields.h"
#include "fix/position_scatter.h"
#include "tests/test_bytes.h"

namespace {

int Apply(FixState& fix, const std::string& body, Tick nowMs = 1000) {
  return ApplySentence(fix, Sentence(body).c_str(), nowMs);
}

const SatelliteInView* Find(const FixState& fix, int system, int id) {
  for (int i = 0; i < fix.satelliteCount; ++i) {
    if (fix.satellites[i].system == system && fix.satellites[i].id == id) return &fix.satellites[i];
  }
  return nullptr;
}

TEST(NmeaFields, AnglesTimesAndDatesAreReadOrRefused) {
  const struct {
    const char* body;  // fields 1 and 2 of a test sentence
    bool ok;
    double degrees;
  } angles[] = {
      {"4807.038,N", true, 48.1173},    {"4807.038,S", true, -48.1173},
      {"01131.000,E", true, 11.516667}, {"01131.000,W", true, -11.516667},
      {"4860.000,N", false, 0},         {"9100.000,N", false, 0},
      {"4807.038,E", false, 0},         {"807.038,N", false, 0},
      {"48O7.038,N", false, 0},         {",N", false, 0},
      {"-4807.038,N", false, 0},        {"4807.03.8,N", false, 0},
  };
  for (const auto& a : angles) {
    NmeaFields fields;
    std::string sentence = std::string("$GPXXX,") + a.body;  // the fields point into it
    ASSERT_TRUE(SplitSentence(sentence.c_str(), fields));
    bool longitude = std::string(a.body).find_first_of("EW") != std::string::npos;
    double degrees = 0;
    EXPECT_EQ(FieldAngle(fields, 1, longitude ? 180 : 90, degrees), a.ok) << a.body;
    if (a.ok) {
      EXPECT_NEAR(degrees, a.degrees, 1e-6) << a.body;
    }
  }
  NmeaFields fields;
  ASSERT_TRUE(SplitSentence("$GPXXX,123519.25,235960,2401,070926,320226,*00", fields));
  double seconds = 0;
  EXPECT_TRUE(FieldTimeOfDay(fields, 1, seconds));
  EXPECT_DOUBLE_EQ(seconds, 12 * 3600 + 35 * 60 + 19.25);
  EXPECT_TRUE(FieldTimeOfDay(fields, 2, seconds)) << "a leap second";
  EXPECT_FALSE(FieldTimeOfDay(fields, 3, seconds));
  int year = 0, month = 0, day = 0;
  EXPECT_TRUE(FieldDate(fields, 4, year, month, day));
  EXPECT_EQ(year * 10000 + month * 100 + day, 20260907);
  EXPECT_FALSE(FieldDate(fields, 5, year, month, day)) << "month 02, day 32";
  EXPECT_EQ(fields.count, 7);
}

// A receiver tracking four systems: GGA, GN GSA per system (NMEA 4.10 system ids), GSV
// groups per talker, GST, RMC and ZDA.
TEST(FixState, AStreamOfSeveralSystemsGivesTheWholeFix) {
  FixState fix;
  const std::vector<std::string> stream = {
      "GNGGA,092750.00,5321.6802,N,00630.3372,W,4,18,0.6,1200.5,M,55.2,M,1.2,0031",
      "GPGSV,2,1,06,02,45,120,44,05,30,045,40,12,70,300,48,25,10,200,31",
      "GPGSV,2,2,06,29,55,090,46,31,05,010,",
      "GLGSV,1,1,03,65,40,060,42,72,20,150,38,80,60,270,45",
      "GAGSV,1,1,02,11,35,100,41,36,50,220,43",
      "GBGSV,1,1,01,14,62,330,47",
      "GNGSA,A,3,02,05,12,25,29,,,,,,,,1.1,0.6,0.9,1",
      "GNGSA,A,3,65,80,,,,,,,,,,,1.1,0.6,0.9,2",
      "GNGSA,A,3,11,36,,,,,,,,,,,1.1,0.6,0.9,3",
      "GNGSA,A,3,14,,,,,,,,,,,,1.1,0.6,0.9,4",
      "GNGST,092750.00,0.8,0.02,0.01,45.0,0.012,0.010,0.025",
      "GNRMC,092750.00,A,5321.6802,N,00630.3372,W,0.02,31.66,280511,,,R",
      "GNZDA,092750.00,07,12,2026,00,00",
      "GNTXT,01,01,02,ANTENNA OK",
  };
  int used = 0;
  for (const std::string& body : stream) used += Apply(fix, body);
  EXPECT_EQ(used, 13) << "all but the text sentence";
  EXPECT_TRUE(fix.havePosition);
  EXPECT_NEAR(fix.latitude, 53.361337, 1e-6);
  EXPECT_NEAR(fix.longitude, -6.505620, 1e-6);
  EXPECT_NEAR(EllipsoidHeight(fix), 1255.7, 1e-9);
  EXPECT_EQ(fix.quality, kRtkFixed);
  EXPECT_EQ(fix.mode, 3);
  EXPECT_DOUBLE_EQ(fix.correctionAge, 1.2);
  EXPECT_EQ(fix.stationId, 31);
  EXPECT_DOUBLE_EQ(fix.vdop, 0.9);
  EXPECT_DOUBLE_EQ(fix.sigmaHeight, 0.025);
  EXPECT_EQ(fix.year * 10000 + fix.month * 100 + fix.day, 20261207) << "ZDA after RMC";
  EXPECT_EQ(fix.satelliteCount, 12);
  EXPECT_EQ(fix.inView[kGps], 6);
  EXPECT_EQ(fix.inView[kGlonass], 3);
  EXPECT_EQ(SatellitesMarkedUsed(fix), 10);
  const SatelliteInView* galileo = Find(fix, kGalileo, 36);
  ASSERT_NE(galileo, nullptr);
  EXPECT_TRUE(galileo->used);
  EXPECT_EQ(galileo->elevation * 1000 + galileo->azimuth, 50220);
  const SatelliteInView* low = Find(fix, kGps, 31);
  ASSERT_NE(low, nullptr);
  EXPECT_EQ(low->signal, -1) << "not tracked: no signal given";
  EXPECT_FALSE(low->used);
  EXPECT_NE(Find(fix, kGlonass, 72), nullptr);
  EXPECT_FALSE(Find(fix, kGlonass, 72)->used);
  char line[64];
  FixSummaryText(fix, 1000, true, line, sizeof line);
  EXPECT_STREQ(line, "fix RTK-fixed 10 sv HDOP 0.6") << "the satellites GSA names, not GGA's 18";
}

// Valid by their checksum, odd in their fields: what cannot be read leaves what was known.
TEST(FixState, OddFieldsLeaveWhatWasKnown) {
  FixState fix;
  Apply(fix, "GPGGA,120000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
  const std::vector<std::string> odd = {
      "GPGGA,,,,,,,,,,,,,,",                                        // all empty
      "GPGGA,120001,4807.038,N,01131.000,X,9,-3,abc,545.4,M,,M,,",  // bad side, quality, count
      "GPGGA,25",                                                   // cut short
      "GPGGA,120002,9999.999,N,99999.999,E,1,08,0.9,1e5,M,46.9,M,,,,,,,,,,",  // out of range, extra
      "GPGSA,A,7,99999,,,,,,,,,,,,-1.0,200,x",
      "GPGSV,1,1,04,05,95,400,120,,,,",
      "GPRMC,120003,V,4900.000,N,01200.000,E,,,999999,,",  // void: position ignored
      "GPVTG,-5,T,,M,,N,,K",
  };
  for (const std::string& body : odd) EXPECT_EQ(Apply(fix, body), 1) << body;
  EXPECT_NEAR(fix.latitude, 48.1173, 1e-6);
  EXPECT_NEAR(fix.longitude, 11.516667, 1e-6);
  EXPECT_EQ(fix.quality, kGpsFix);
  EXPECT_EQ(fix.satellitesUsed, 8);
  EXPECT_DOUBLE_EQ(fix.hdop, 0.9);
  EXPECT_DOUBLE_EQ(fix.altitude, 545.4);
  EXPECT_EQ(fix.mode, 0);
  EXPECT_EQ(fix.pdop, kUnknown);
  EXPECT_FALSE(fix.haveDate);
  EXPECT_EQ(fix.course, kUnknown);
  const SatelliteInView* odd5 = Find(fix, kGps, 5);
  ASSERT_NE(odd5, nullptr) << "its number is good; the rest is unknown";
  EXPECT_EQ(odd5->elevation, -1);
  EXPECT_EQ(odd5->azimuth, -1);
  EXPECT_EQ(odd5->signal, -1);
  EXPECT_EQ(ApplySentence(fix, "GPGGA,120000", 0), 0) << "no $";
  EXPECT_EQ(Apply(fix, "PUBX,00,120000"), 0) << "a proprietary sentence";
}

// The class of fix from whatever sentences a receiver sends, never "no fix" for want of a
// GGA: GGA's quality first, else GNS's and RMC's mode letters, else GSA's fix type.
TEST(FixState, TheClassComesFromTheBestSentenceThatTellsIt) {
  const struct {
    std::vector<std::string> stream;
    int quality;
    int from;
  } cases[] = {
      {{}, kUnknownFix, kFromNone},
      {{"GNGSA,A,3,02,05,12,,,,,,,,,,1.1,0.9,0.6"}, kGpsFix, kFromGsa},
      {{"GNGSA,A,1,,,,,,,,,,,,,99.99,99.99,99.99"}, kNoFix, kFromGsa},
      {{"GNRMC,092750.00,A,5321.6802,N,00630.3372,W,0.02,31.66,071226,,,R"}, kRtkFixed, kFromRmc},
      {{"GPRMC,092750.00,A,5321.6802,N,00630.3372,W,0.02,31.66,071226,,"}, kGpsFix, kFromRmc},
      {{"GPRMC,092750.00,V,,,,,,,071226,,,N"}, kNoFix, kFromRmc},
      {{"GNGNS,092750.00,5321.6802,N,00630.3372,W,DFNN,14,0.7,100.0,50.0,1.0,"},
       kRtkFloat,
       kFromGns},
      // RMC after GGA within the second does not overrule it; GGA speaks first.
      {{"GNGGA,092750.00,5321.6802,N,00630.3372,W,4,18,0.6,100.0,M,,M,1.2,0031",
        "GNRMC,092750.00,A,5321.6802,N,00630.3372,W,0.02,31.66,071226,,,D"},
       kRtkFixed,
       kFromGga},
  };
  for (const auto& c : cases) {
    FixState fix;
    for (const std::string& body : c.stream) Apply(fix, body);
    EXPECT_EQ(fix.quality, c.quality) << (c.stream.empty() ? "nothing" : c.stream.back());
    EXPECT_EQ(fix.qualityFrom, c.from);
  }
  // A GGA that stops speaking is overruled by what still speaks, three seconds on.
  FixState fix;
  Apply(fix, "GNGGA,092750.00,5321.6802,N,00630.3372,W,4,18,0.6,100.0,M,,M,1.2,0031", 1000);
  Apply(fix, "GNRMC,092753.00,A,5321.6802,N,00630.3372,W,0.02,31.66,071226,,,F", 4000);
  EXPECT_EQ(fix.quality, kRtkFixed);
  Apply(fix, "GNRMC,092754.00,A,5321.6802,N,00630.3372,W,0.02,31.66,071226,,,F", 4001);
  EXPECT_EQ(fix.quality, kRtkFloat);
}

// One source for the HDOP (GGA's while it speaks, not GSA's a moment later); heights and
// dilutions as the receiver gave them; a fix that no sentence renews goes stale.
TEST(FixState, HdopHeightAndAge) {
  FixState fix;
  Apply(fix, "GNGGA,092750.00,5321.6802,N,00630.3372,W,1,18,0.4,100.5,M,,M,,", 1000);
  Apply(fix, "GNGSA,A,3,02,05,12,,,,,,,,,,1.2,0.9,0.8", 1010);
  EXPECT_DOUBLE_EQ(fix.hdop, 0.4);
  EXPECT_EQ(fix.hdopFrom, kFromGga);
  EXPECT_DOUBLE_EQ(fix.pdop, 1.2);
  EXPECT_TRUE(fix.haveAltitude) << "no geoid separation given: the altitude stands";
  EXPECT_FALSE(fix.haveSeparation);
  char text[1024];
  FixReportText(fix, text, sizeof text);
  EXPECT_NE(std::string(text).find("Height      100.500 m above mean sea level\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(std::string(text).find("ellipsoid"), std::string::npos);
  EXPECT_NE(std::string(text).find("PDOP 1.2 HDOP 0.4 (GGA) VDOP 0.8"), std::string::npos) << text;
  const struct {
    double dop;
    const char* text;
  } dops[] = {{99.99, "99.99"}, {0.6, "0.6"}, {1.25, "1.25"}, {2.0, "2.0"}, {0.05, "0.05"}};
  for (const auto& d : dops) {
    char shown[16];
    DopText(d.dop, shown, sizeof shown);
    EXPECT_STREQ(shown, d.text);
  }
  const struct {
    Tick now;
    bool receiverThere;
    const char* summary;
  } ages[] = {{1010, true, "fix GPS 3 sv HDOP 0.4"},
              {1010 + kFixFreshMs, true, "fix GPS 3 sv HDOP 0.4"},
              {1011 + kFixFreshMs, true, "no fix data for 3 s"},
              {16010, true, "no fix data for 15 s"},
              {1010, false, "no fix data for 0 s"}};  // the receiver lost
  Apply(fix, "GPGSV,1,1,03,02,45,120,44,05,30,045,40,12,70,300,48", 1010);
  Apply(fix, "GPGSA,A,3,02,05,12,,,,,,,,,,1.2,0.9,0.8", 1010);
  for (const auto& age : ages) {
    char line[64];
    FixSummaryText(fix, age.now, age.receiverThere, line, sizeof line);
    EXPECT_STREQ(line, age.summary) << age.now;
  }
}

// NMEA 4.10 sends a GSV group for each signal: the second signal's empty strength leaves
// the first's; the strongest stands for the satellite, each system has its own names.
TEST(FixState, EachSignalOfASatelliteIsKeptApart) {
  FixState fix;
  Apply(fix, "GPGSV,1,1,02,10,24,284,34,13,37,124,29,1", 1000);  // L1 C/A
  Apply(fix, "GPGSV,1,1,02,10,24,284,,13,37,124,41,6", 1000);    // L2C: 10 not tracked
  Apply(fix, "GBGSV,1,1,01,10,50,100,38,1", 1000);
  Apply(fix, "GLGSV,1,1,01,74,20,30,25,1", 1000);
  const SatelliteInView* gps10 = Find(fix, kGps, 10);
  const SatelliteInView* gps13 = Find(fix, kGps, 13);
  ASSERT_TRUE(gps10 != nullptr && gps13 != nullptr);
  EXPECT_EQ(gps10->signal, 34) << "L1's, not erased by L2's empty field";
  EXPECT_EQ(gps10->signalCount, 2);
  EXPECT_EQ(gps13->signal, 41) << "the strongest";
  EXPECT_EQ(gps10->elevation * 1000 + gps10->azimuth, 24284);
  char label[16];
  const struct {
    int system, id;
    const char* label;
  } labels[] = {{kGps, 10, "G10"},   {kBeidou, 10, "C10"}, {kGlonass, 74, "R10"},
                {kSbas, 46, "S133"}, {kQzss, 193, "J01"},  {kGalileo, 5, "E05"}};
  for (const auto& l : labels) {
    SatelliteInView satellite;
    satellite.system = static_cast<uint8_t>(l.system);
    satellite.id = static_cast<uint16_t>(l.id);
    SatelliteLabel(satellite, label, sizeof label);
    EXPECT_STREQ(label, l.label);
  }
}

TEST(FixState, SatellitesNotReportedAgeOutAndTheTableStaysBounded) {
  FixState fix;
  Apply(fix, "GPGSV,1,1,02,02,45,120,44,05,30,045,40", 1000);
  Apply(fix, "GPGSV,1,1,01,02,45,121,44", 4000);
  AgeSatellites(fix, 1000 + kSatelliteAgeMs);
  EXPECT_EQ(fix.satelliteCount, 2);
  AgeSatellites(fix, 1001 + kSatelliteAgeMs);
  ASSERT_EQ(fix.satelliteCount, 1);
  EXPECT_EQ(fix.satellites[0].id, 2);
  for (int id = 1; id <= 150; ++id) {
    Apply(fix, "GBGSV,1,1,01," + std::to_string(id) + ",10,100,30", 5000);
  }
  EXPECT_EQ(fix.satelliteCount, kMaxSatellites);
}

// Five positions worked by hand: their mean, the radii that hold half and 95% of them,
// and the heights' spread.
TEST(PositionScatter, StatisticsMatchAHandComputation) {
  PositionScatter scatter;
  const double degreesPerMetre = 1 / 111319.4908;  // at the equator
  const double points[][3] = {
      {0, 0, 0}, {0.02, 0, 0}, {0, 0.02, 0}, {0.02, 0.02, 0}, {0.01, 0.06, 0.1}};
  for (const auto& p : points)
    AddPosition(scatter, p[1] * degreesPerMetre, p[0] * degreesPerMetre, 100 + p[2]);
  ScatterStatistics stats = ScatterStatisticsOf(scatter);
  EXPECT_EQ(stats.count, 5);
  EXPECT_NEAR(stats.meanEast, 0.01, 1e-6);
  EXPECT_NEAR(stats.meanNorth, 0.02, 1e-6);
  EXPECT_NEAR(stats.radius50, std::hypot(0.01, 0.02), 1e-6);
  EXPECT_NEAR(stats.radius95, 0.04, 1e-6);
  EXPECT_NEAR(stats.sdUp, std::sqrt(0.002), 1e-6);
  for (int i = 0; i < kScatterPoints; ++i) AddPosition(scatter, 0, 0, 100);
  EXPECT_EQ(ScatterStatisticsOf(scatter).count, kScatterPoints) << "the oldest have gone";
  EXPECT_NEAR(ScatterStatisticsOf(scatter).radius95, 0, 1e-9);
  ResetScatter(scatter);
  EXPECT_EQ(ScatterStatisticsOf(scatter).count, 0);

  FixTimeline timeline;
  for (int second = 0; second < kTimelineSeconds + 10; ++second) {
    AddFixSample(timeline, {second, 10, 0.8, kRtkFixed});
    AddFixSample(timeline, {second, 12, 0.7, kRtkFixed});  // the same second: replaced
  }
  EXPECT_EQ(timeline.count, kTimelineSeconds);
  EXPECT_EQ(TimelineAt(timeline, 0).when, 10);
  EXPECT_EQ(TimelineAt(timeline, kTimelineSeconds - 1).used, 12);
}

}  // namespace
