// SPDX-License-Identifier: BSD-2-Clause
// The dump files without a worker: what each item does to the files on disk, on every
// platform (renaming and text modes are where they differ).

#include "capture/dump_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/local_time_at.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"
#include "tests/test_bytes.h"

namespace {

namespace fs = std::filesystem;

struct DumpFileTest : ::testing::Test {
  StatusCapture status;
  LoggingSwitch logging;
  DumpSlot slot;
  ScratchDir scratch;
  fs::path directory = scratch.path;

  void TearDown() override { CloseDump(slot); }
  void Write(DumpStreamId stream, const Bytes& item) {
    WriteDump(logging, directory.string().c_str(), stream, item.data(),
              static_cast<int>(item.size()), slot);
  }
  Bytes Read(const std::string& name) {
    std::ifstream in(directory / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // The kept files of a stream, oldest first.
  std::vector<std::string> Kept(const std::string& base) {
    std::vector<std::string> kept;
    for (const auto& entry : fs::directory_iterator(directory)) {
      std::string name = entry.path().filename().string();
      if (name.rfind(base + "-", 0) == 0) kept.push_back(name);
    }
    std::sort(kept.begin(), kept.end(), [](const std::string& a, const std::string& b) {
      return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return kept;
  }
};

TEST_F(DumpFileTest, PeriodsKeepEarlierFilesAndASlotWritesOnWithinOne) {
  std::ofstream(directory / "posn.dmp", std::ios::binary) << "earlier run";
  Bytes one = Frame(0x40, {1}), two = Frame(0x40, {2}), three = Frame(0x40, {3});
  SetLogging(logging, 1);
  Write(kPosnStream, one);
  CloseDump(slot);  // a reconnect: the next worker writes on
  Write(kPosnStream, two);
  SetLogging(logging, 0);
  Write(kPosnStream, three);  // closes the file; not written
  SetLogging(logging, 1);
  Write(kPosnStream, three);
  CloseDump(slot);

  EXPECT_EQ(Read("posn.dmp"), three);
  std::vector<std::string> kept = Kept("posn");
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(Read(kept[0]), Text("earlier run"));
  EXPECT_EQ(Read(kept[1]), Cat({one, two}));
  EXPECT_TRUE(status.Saw("Kept the earlier posn.dmp as " + kept[1]));
}

TEST_F(DumpFileTest, SentencesAreWrittenByteForByte) {
  const Bytes sentence =
      Text(Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
  SetLogging(logging, 1);
  Write(kNmeaStream, sentence);
  Write(kNmeaStream, sentence);
  CloseDump(slot);
  EXPECT_EQ(Read("nmea.dmp"), Cat({sentence, sentence})) << "CR LF stays CR LF";
}

TEST_F(DumpFileTest, AnEmptyFileIsNotKeptAndAMissingDirectoryIsReportedOnce) {
  std::ofstream(directory / "corr.dmp", std::ios::binary);
  SetLogging(logging, 1);
  Write(kCorrStream, Frame(0x93, {7}));
  EXPECT_TRUE(Kept("corr").empty());
  CloseDump(slot);

  DumpSlot lost;
  std::string missing = (directory / "missing").string();
  for (int i = 0; i < 3; ++i) {
    Bytes item = Frame(0x57, {9});
    WriteDump(logging, missing.c_str(), kObsdStream, item.data(), static_cast<int>(item.size()),
              lost);
  }
  EXPECT_EQ(status.Failures().size(), 1u);
}

TEST(KeptDumpName, DatedFromTheLastWriteAndNumberedWhenTaken) {
  std::time_t when = LocalTimeAt(2026, 12, 7, 10, 15, 30);
  struct Case {
    const char* base;
    int attempt;
    const char* name;
  } cases[] = {{"posn", 1, "posn-20261207-101530.dmp"},
               {"nmea", 1, "nmea-20261207-101530.dmp"},
               {"corr", 2, "corr-20261207-101530-2.dmp"},
               {"obsd", 12, "obsd-20261207-101530-12.dmp"}};
  for (const Case& c : cases) {
    char name[64];
    KeptDumpName(c.base, when, c.attempt, name, sizeof name);
    EXPECT_STREQ(name, c.name);
  }
}

}  // namespace
