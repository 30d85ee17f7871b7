// SPDX-License-Identifier: BSD-2-Clause
// The dump files without a worker: what each item does to the files on disk, on every
// platform (renaming and text modes are where they differ).

#include "capture/dump_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture/earlier_file.h"
#include "tests/dump_bench.h"

namespace {

namespace fs = std::filesystem;

struct DumpFileTest : ::testing::Test, DumpBench {
  // The kept files of a stream, oldest first.
  std::vector<std::string> Kept(const std::string& base) {
    std::vector<std::string> kept;
    for (const auto& entry : fs::directory_iterator(scratch.path)) {
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
  std::ofstream(scratch / "posn.dmp", std::ios::binary) << "earlier run";
  Bytes one = Frame(0x40, {1}), two = Frame(0x40, {2}), three = Frame(0x40, {3});
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

// Split by the hour: an item goes whole into the file of the UTC hour it arrived in; the
// hour's end closes its file and says so; a restart within an hour writes on, keeps nothing.
TEST_F(DumpFileTest, SplitFilesFollowTheUtcHourAndARestartWritesOn) {
  const std::time_t tenOClock = 1796637600;  // 2026-12-07 10:00:00 UTC, day 341
  Bytes one = Frame(0x40, {1}), two = Frame(0x40, {2}), three = Frame(0x40, {3});
  split = kSplitHour;
  auto write = [&](std::time_t when, const Bytes& item) {
    now.wall = when;
    return Write(kPosnStream, item);
  };
  EXPECT_EQ(write(tenOClock - 1, one), 1);
  EXPECT_EQ(write(tenOClock, two), 1);
  CloseDump(slot);  // a restart within the hour
  SetLogging(logging, 0);
  SetLogging(logging, 1);  // and a new logging period too
  EXPECT_EQ(write(tenOClock + 3599, three), 1);
  CloseDump(slot);
  EXPECT_EQ(Read("2026/341/posn-20261207-09.dmp"), one);
  EXPECT_EQ(Read("2026/341/posn-20261207-10.dmp"), Cat({two, three}));
  EXPECT_TRUE(Kept("posn").empty());
  EXPECT_EQ(status.Count("Closed " + (scratch / "2026/341/posn-20261207-09.dmp") + " (" +
                         std::to_string(one.size()) + " B)"),
            1);
  char name[64];
  SplitDumpName("obsd", tenOClock - 36000, kSplitDay, name, sizeof name);  // its midnight
  EXPECT_STREQ(name, "2026/341/obsd-20261207.dmp");
  SplitDumpName("nmea", 1798761600, kSplitDay, name, sizeof name);  // 2027-01-01
  EXPECT_STREQ(name, "2027/001/nmea-20270101.dmp");
}

TEST_F(DumpFileTest, SentencesAreWrittenByteForByte) {
  const Bytes sentence =
      Text(Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
  Write(kNmeaStream, sentence);
  Write(kNmeaStream, sentence);
  CloseDump(slot);
  EXPECT_EQ(Read("nmea.dmp"), Cat({sentence, sentence})) << "CR LF stays CR LF";
}

TEST_F(DumpFileTest, AnEmptyFileIsNotKept) {
  std::ofstream(scratch / "corr.dmp", std::ios::binary);
  Write(kCorrStream, Frame(0x93, {7}));
  EXPECT_TRUE(Kept("corr").empty());
}

// A folder that cannot be written: the failure is said once with the file's whole path,
// each item is counted as lost, and when writing works again that is said with what was
// lost and when; a second spell is said again. Only items that reached the file count.
TEST_F(DumpFileTest, EachSpellOfFailureIsSaidWithWhatItLost) {
  fs::path blocker = scratch.path / "blocker";  // a file where the folder should be
  folder = (blocker / "logs").string();
  Bytes item = Frame(0x57, {9, 9});
  for (int spell = 0; spell < 2; ++spell) {
    std::ofstream(blocker).put('x');
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(Write(kObsdStream, item), -1);
      Later(1);
    }
    fs::remove(blocker);
    EXPECT_EQ(Write(kObsdStream, item), 1) << "the folder is made";
    CloseDump(slot);
    fs::remove_all(blocker);
  }
  std::string path = (fs::absolute(folder) / "obsd.dmp").lexically_normal().string();
  std::vector<std::string> failures = status.Failures();
  ASSERT_EQ(failures.size(), 4u);
  for (int spell = 0; spell < 2; ++spell) {
    EXPECT_EQ(failures[2 * spell].rfind("Could not open " + path + ": ", 0), 0u)
        << failures[2 * spell];
    EXPECT_NE(failures[2 * spell].find(". Its items are counted as lost until it can be written "
                                       "again."),
              std::string::npos);
    EXPECT_EQ(failures[2 * spell + 1],
              "Writing " + path + " again; 3 items (24 B) were lost from " +
                  (spell == 0 ? "10:00:00 to 10:00:02." : "10:00:03 to 10:00:05."));
  }
  EXPECT_EQ(slot.count.items, 2u);
  EXPECT_EQ(slot.count.lostItems, 6u);
  EXPECT_EQ(slot.count.lostBytes, 48u);
  EXPECT_EQ(slot.count.failures, 2u);
  EXPECT_FALSE(slot.count.failing);
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
