// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/nmea_ring.h"
#include "tests/test_bytes.h"

namespace {

using Strings = std::vector<std::string>;

// A sentence of exactly `length` characters, '$' through LF.
std::string SentenceOfLength(size_t length) {
  return Sentence("GPTXT," + std::string(length - 12, 'A'));
}

std::string FrameText(uint8_t type, const std::string& data) {
  Bytes frame = Frame(type, Text(data));
  return std::string(frame.begin(), frame.end());
}

Strings PullAll(NmeaRing& nmea) {
  Strings got;
  char sentence[kSentenceBufferSize];
  while (PullSentence(nmea, sentence) == 1) got.emplace_back(sentence);
  return got;
}

void Push(NmeaRing& nmea, const std::string& text) {
  PushNmea(nmea, reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
}

const std::string kGga = Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
const std::string kRmc = Sentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,,");

TEST(PullSentence, AcceptsAndRejectsByTheRules) {
  std::string lfOnly = kGga.substr(0, kGga.size() - 2) + "\n";
  std::string crCrLf = kGga.substr(0, kGga.size() - 2) + "\r\r\n";
  std::string oneDigit = kGga.substr(0, kGga.size() - 3) + "\r\n";
  std::string threeDigits = kGga.substr(0, kGga.size() - 2) + "0\r\n";
  std::string badSum = kGga;
  badSum[badSum.size() - 3] = badSum[badSum.size() - 3] == '0' ? '1' : '0';
  std::string noSum = "$GPGGA,123519,4807.038,N\r\n";
  std::string bang = "!" + kRmc.substr(1);
  std::string tooShort = Sentence("GPABC");  // 11 characters
  struct Case {
    const char* name;
    Strings pushes;
    Strings expected;
    unsigned long dropped[kSentenceDropReasons];  // no checksum, wrong one, too long
  } cases[] = {
      {"one", {kGga}, {kGga}, {}},
      {"two in one chunk", {kGga + kRmc}, {kGga, kRmc}, {}},
      {"noise before", {"xyz\r\n12" + kGga}, {kGga}, {}},
      {"dollar restarts", {"$GPGGA,1235" + kRmc}, {kRmc}, {1, 0, 0}},
      {"lower-case digits", {Sentence("GPZDA,1,2,3", true)}, {Sentence("GPZDA,1,2,3", true)}, {}},
      {"LF alone, as received", {lfOnly, kRmc}, {lfOnly, kRmc}, {}},
      {"CR CR LF, as received", {crCrLf}, {crCrLf}, {}},
      {"one checksum digit", {oneDigit}, {}, {1, 0, 0}},
      {"three checksum digits", {threeDigits}, {}, {1, 0, 0}},
      {"wrong checksum", {badSum, kRmc}, {kRmc}, {0, 1, 0}},
      {"no checksum", {noSum}, {}, {1, 0, 0}},
      {"bang sentence", {bang}, {}, {}},
      {"82, NMEA's own", {SentenceOfLength(82)}, {SentenceOfLength(82)}, {}},
      {"91: an RTK receiver's GGA", {SentenceOfLength(91)}, {SentenceOfLength(91)}, {}},
      {"120", {SentenceOfLength(120)}, {SentenceOfLength(120)}, {}},
      {"255, the most", {SentenceOfLength(255)}, {SentenceOfLength(255)}, {}},
      {"256 never", {SentenceOfLength(256), kGga}, {kGga}, {0, 0, 1}},
      {"11 is too short", {tooShort}, {}, {}},
      {"12 is enough", {Sentence("GPABCD")}, {Sentence("GPABCD")}, {}},
      {"short, then the next dollar", {tooShort + kRmc}, {kRmc}, {}},
      {"short, then text to a later LF", {Sentence("GPA") + "trailing text\n", kRmc}, {kRmc}, {}},
      {"a NUL inside, its checksum right",
       {"$GPGGA,1" + std::string(1, '\0') + "2*79\r\n"},
       {},
       {}},
      {"short, a zero, then a later LF",
       {Sentence("GPA") + std::string(1, '\0') + "xxxxx\n"},
       {},
       {}},
      {"between frames, their bytes not counted",
       {FrameText(0x40, "$GP\r\n*00\r\n$GPGGA\x01,\n") + kGga +
        FrameText(0x57, std::string(60, '$'))},
       {kGga},
       {}},
  };
  for (const Case& c : cases) {
    auto nmea = std::make_unique<NmeaRing>();
    Strings got;
    for (const std::string& chunk : c.pushes) {
      Push(*nmea, chunk);
      for (const std::string& s : PullAll(*nmea)) got.push_back(s);
    }
    EXPECT_EQ(got, c.expected) << c.name;
    for (int why = 0; why < kSentenceDropReasons; ++why)
      EXPECT_EQ(nmea->dropped[why], c.dropped[why]) << c.name << ", reason " << why;
  }
}

TEST(PullSentence, SentenceSplitAcrossPushesAndTheRingsEnd) {
  auto nmea = std::make_unique<NmeaRing>();
  nmea->ring.read = nmea->ring.write = 1024 - 20;
  Push(*nmea, kGga.substr(0, 30));
  EXPECT_EQ(PullAll(*nmea), Strings{});
  Push(*nmea, kGga.substr(30));
  EXPECT_EQ(PullAll(*nmea), Strings{kGga});
  EXPECT_EQ(PullAll(*nmea), Strings{});
}

TEST(CheckSentence, LooksNoFurtherThanTheText) {
  EXPECT_EQ(CheckSentence(kGga.c_str()), 1);
  EXPECT_EQ(CheckSentence("$GPGGA,1,2"), 0);
  EXPECT_EQ(CheckSentence("GPGGA*00\r\n"), 0);
  // "AA" combines to 0 and no digits read as 0, but a CR LF behind the end is not ours.
  const char stale[] = "$AA*\n\0\r\n";
  EXPECT_EQ(CheckSentence(stale), 0);
  EXPECT_EQ(CheckSentence("$AAAAAA*00\r\n"), 1);
}

}  // namespace
