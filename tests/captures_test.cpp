// SPDX-License-Identifier: BSD-2-Clause
// Real receivers' NMEA streams, gpsd-style: each capture in tests/captures/ goes through the
// sentence extraction and the fix as the receive worker takes them, and what they make of
// it must read as NAME.fix beside it says. Adding a case is adding the two files
// (TARNEX_WRITE_CAPTURES=1 writes the .fix of a new capture; check it by hand, and against
// gpsd). A second test reads every capture with Debian's gpsd, a reference nobody here
// wrote, and compares the fix class, the satellites used and the HDOP with Tarnex's.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "capture/nmea_ring.h"
#include "fix/fix_state.h"
#include "tests/child_process.h"
#include "tests/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

std::string CapturesFolder() {
  return PathFrom("TARNEX_SOURCE_DIR", TARNEX_SOURCE_DIR) + "/tests/captures";
}

std::vector<std::string> Captures() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(CapturesFolder(), error)) {
    if (entry.path().extension() == ".log") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The capture as the receiver sent it: gpsd's logs open with '#' lines about it.
std::string Stream(const std::string& name) {
  std::ifstream in(CapturesFolder() + "/" + name + ".log", std::ios::binary);
  std::string stream, line;
  while (std::getline(in, line)) {
    if (line.rfind('#', 0) == 0) continue;
    stream += line + "\n";
  }
  return stream;
}

// What Tarnex makes of a capture: its sentences, the dropped ones, the fix at its end, and
// where its last second began.
struct Reading {
  FixState fix;
  unsigned long accepted = 0;
  unsigned long dropped[kSentenceDropReasons] = {};
  size_t lastSecondAt = 0;
};

// A second passes at each new time of day that a sentence tells. The stream goes in a
// line at a time, as a receiver sends it, so that where each second began is known.
Reading Read(const std::string& stream) {
  Reading reading;
  auto nmea = std::make_unique<NmeaRing>();
  char sentence[kSentenceBufferSize];
  Tick now = 1000;
  double lastTime = -1;
  for (size_t at = 0, end; at < stream.size(); at = end) {
    end = std::min(stream.find('\n', at), stream.size() - 1) + 1;
    PushNmea(*nmea, reinterpret_cast<const uint8_t*>(stream.data() + at),
             static_cast<int>(end - at));
    while (PullSentence(*nmea, sentence) == 1) {
      ++reading.accepted;
      ApplySentence(reading.fix, sentence, now);
      if (reading.fix.haveTime && reading.fix.utcSeconds != lastTime) {
        lastTime = reading.fix.utcSeconds;
        now += 1000;
        reading.lastSecondAt = at;
      }
    }
  }
  for (int why = 0; why < kSentenceDropReasons; ++why) reading.dropped[why] = nmea->dropped[why];
  AgeSatellites(reading.fix, now);
  return reading;
}

std::string Summary(const Reading& reading) {
  const FixState& fix = reading.fix;
  std::ostringstream out;
  char name[48], dop[16];
  out << "fix: " << FixClassName(fix, name, sizeof name) << "\n";
  out << "used: " << SatellitesUsed(fix) << "\n";
  DopText(fix.hdop, dop, sizeof dop);
  static const char* const kSources[] = {"none", "GSA", "RMC", "GNS", "GGA"};
  out << "hdop: " << (fix.hdop >= 0 ? dop : "unknown") << " (" << kSources[fix.hdopFrom] << ")\n";
  char position[64] = "unknown";
  if (fix.havePosition)
    std::snprintf(position, sizeof position, "%.6f %.6f", fix.latitude, fix.longitude);
  out << "position: " << position << "\n";
  if (fix.haveAltitude) {
    std::snprintf(position, sizeof position, "%.3f", fix.altitude);
    out << "altitude: " << position << "\n";
  }
  out << "in view:";
  for (int system = 0; system < kGnssSystems; ++system) {
    int count = 0;
    for (int i = 0; i < fix.satelliteCount; ++i) count += fix.satellites[i].system == system;
    if (count > 0) out << " " << GnssSystemName(system) << " " << count;
  }
  out << "\nsentences: " << reading.accepted << " logged; dropped: " << reading.dropped[kNoChecksum]
      << " without a checksum, " << reading.dropped[kWrongChecksum] << " with a wrong one, "
      << reading.dropped[kTooLong] << " too long\n";
  return out.str();
}

TEST(Captures, EachReadsAsItsSummarySays) {
  std::vector<std::string> captures = Captures();
  ASSERT_GE(captures.size(), 11u) << "in " << CapturesFolder();
  bool write = std::getenv("TARNEX_WRITE_CAPTURES") != nullptr;
  for (const std::string& name : captures) {
    std::string summary = Summary(Read(Stream(name)));
    std::string path = CapturesFolder() + "/" + name + ".fix";
    if (write && !fs::exists(path)) std::ofstream(path) << summary;
    EXPECT_EQ(summary, FileText(path)) << name;
  }
}

// The number after "key": in the last line of `kind` that has it; NaN if none.
double LastValue(const std::string& lines, const std::string& kind, const std::string& key) {
  double value = std::nan("");
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    if (line.find("\"class\":\"" + kind + "\"") == std::string::npos) continue;
    size_t at = line.find("\"" + key + "\":");
    if (at != std::string::npos) value = std::atof(line.c_str() + at + key.size() + 3);
  }
  return value;
}

// gpsd's class of fix (TPV's mode and status) in Tarnex's words.
std::string GpsdClass(double mode, double status) {
  if (std::isnan(mode) || mode < 2) return "no fix";
  if (status == 2) return "DGPS";
  if (status == 3) return "RTK-fixed";
  if (status == 4) return "RTK-float";
  return "autonomous";
}

std::string TarnexClass(const FixState& fix) {
  if (fix.quality == kGpsFix) return "autonomous";
  if (fix.quality == kUnknownFix || fix.quality == kNoFix) return "no fix";
  return FixQualityName(fix.quality);
}

// gpsd sends a SKY for each talker's satellites as they come: the last that speaks of the
// whole sky (as many satellites as Tarnex has in view), or "" when none does.
std::string WholeSky(const std::string& lines, int inView) {
  std::string whole;
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    if (LastValue(line, "SKY", "nSat") == inView) whole = line;
  }
  return whole;
}

TEST(Captures, GpsdReadsTheSameFix) {
  if (std::system("command -v gpsfake >/dev/null && command -v gpspipe >/dev/null") != 0)
    GTEST_SKIP() << "gpsd is missing (Debian: gpsd, gpsd-clients): not compared with it";
  ScratchDir scratch;
  for (const std::string& name : Captures()) {
    SCOPED_TRACE(name);
    // Up to its last whole second (the last may be cut short): gpsd and Tarnex end on the
    // same one.
    std::string stream = Stream(name).substr(0, Read(Stream(name)).lastSecondAt);
    std::string log = scratch / (name + ".log");
    std::ofstream(log) << stream;
    int port = 30000 + static_cast<int>(getpid() % 20000);
    pid_t fake =
        StartProgram({"gpsfake", "-1", "-p", "-q", "-c", "0.005", "-P", std::to_string(port), log},
                     scratch / "gpsfake.out");
    usleep(1500000);
    pid_t pipe =
        StartProgram({"timeout", "30", "gpspipe", "-w", "localhost:" + std::to_string(port)},
                     scratch / "gpspipe.out");
    waitpid(pipe, nullptr, 0);
    StopProgram(fake);
    std::string seen = FileText(scratch / "gpspipe.out");
    ASSERT_NE(seen.find("\"class\":\"TPV\""), std::string::npos) << "gpsd said nothing";
    Reading reading = Read(stream);
    const FixState& fix = reading.fix;
    EXPECT_EQ(TarnexClass(fix),
              GpsdClass(LastValue(seen, "TPV", "mode"), LastValue(seen, "TPV", "status")));
    // gpsd 3.22 counts the satellites used per talker's SKY, not of the whole solution (a
    // GPS and BeiDou receiver's 4 + 3 are 5 there): the .fix files hold Tarnex's count,
    // checked against the GSA sentences. The HDOP is compared where gpsd saw the whole sky.
    std::string sky = WholeSky(seen, fix.satelliteCount);
    if (sky.empty()) continue;
    double hdop = LastValue(sky, "SKY", "hdop");
    if (!std::isnan(hdop) && fix.hdop >= 0) {
      EXPECT_NEAR(fix.hdop, hdop, 0.35) << "gpsd works its own out from the sky";
    }
  }
}

}  // namespace
