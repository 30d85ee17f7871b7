// SPDX-License-Identifier: BSD-2-Clause
// --keep: this program's own split files go once old by their names and their own times;
// nothing goes on the word of a clock that there is reason to doubt; what this run wrote
// ages by the run's own clock.

#include <gtest/gtest.h>

#include <string>

#include "capture/dump_file.h"
#include "tests/retention_fixture.h"

namespace {

TEST(Retention, OnlyItsOwnOldFilesWithValidDatesGo) {
  Pruning pruning(kSplitDay, 10 * kDay);
  const std::time_t t = kTenOClock;
  const struct {
    const char* name;
    std::time_t modified;
    bool goes;
  } files[] = {
      {"2026/329/obsd-20261125.dmp", t - 12 * kDay, true},  // its day ended 11 days ago
      {"2026/330/posn-20261126.dmp", t - 11 * kDay, true},  // 10 days ago, to the second
      {"2026/331/posn-20261127.dmp", t - 10 * kDay, false},
      {"2026/320/corr-20261116.dmp", t - 6 * kDay, false},  // old by name, written lately
      {"2026/341/posn-20261207.dmp", t - 60, false},
      {"2026/330/notes.txt", t - 30 * kDay, false},
      {"2026/330/posn-2026112.dmp", t - 30 * kDay, false},
      {"misc/posn-20260101.dmp", t - 300 * kDay, false},
      {"2026/060/posn-20260231.dmp", t - 250 * kDay, false},  // no 31 February
      {"2026/099/posn-20269999.dmp", t - 250 * kDay, false},
      {"2026/100/posn-20260101.dmp", t - 300 * kDay, false},  // not in its day's folder
      {"2025/001/posn-20250101.dmp", t - 700 * kDay, false},  // before this program
  };
  for (const auto& file : files) pruning.Make(file.name, file.modified);
  EXPECT_EQ(pruning.Look(), 2);
  for (const auto& file : files) EXPECT_EQ(pruning.Exists(file.name), !file.goes) << file.name;
  EXPECT_FALSE(pruning.Exists("2026/329")) << "its folder went with its last file";
  EXPECT_TRUE(pruning.Exists("2026/330"));
  ASSERT_EQ(pruning.said.size(), 2u);
  EXPECT_EQ(pruning.said[0],
            "Deleted " + pruning.directory + "/2026/329/obsd-20261125.dmp (older than 10 days)");
  EXPECT_TRUE(pruning.failures.empty());

  // By the hour: the 09 file's hour ended at 10:00; it is kept for an hour after that.
  Pruning hourly(kSplitHour, 3600);
  hourly.Make("2026/341/nmea-20261207-09.dmp", t - 1);
  hourly.Make("2026/341/nmea-20261207-24.dmp", t - 3 * kDay);  // no 24th hour
  hourly.clock.wall = t + 3599;
  EXPECT_EQ(hourly.Look(1), 0);
  EXPECT_EQ(hourly.Look(), 1);
  EXPECT_FALSE(hourly.Exists("2026/341/nmea-20261207-09.dmp"));
  EXPECT_TRUE(hourly.Exists("2026/341/nmea-20261207-24.dmp"));
}

// Whatever makes the clock doubtful holds every deletion off; it is said once, with its
// reason, and its end once.
TEST(Retention, NothingGoesWhileTheClockIsInDoubt) {
  const struct {
    const char* reason;
    std::time_t wall;
    bool receiverKnown;
    int64_t receiverLead;  // the receiver's time less the system clock's
    bool fileFromTheFuture;
    bool synchronized;
  } cases[] = {
      {"before this program existed", 15, false, 0, false, true},  // no clock until NTP
      {"differs from the receiver's", kTenOClock, true, -400 * kDay, false, true},
      {"lies before the newest file, 2026/345/posn-20261211.dmp", kTenOClock, false, 0, true, true},
      {"every earlier file is older than 10 days", kTenOClock + 400 * kDay, false, 0, false, false},
  };
  for (const auto& c : cases) {
    Pruning pruning(kSplitDay, 10 * kDay);
    pruning.Make("2026/300/posn-20261027.dmp", kTenOClock - 41 * kDay);
    if (c.fileFromTheFuture) pruning.Make("2026/345/posn-20261211.dmp", kTenOClock + 4 * kDay);
    pruning.clock.wall = c.wall;
    pruning.clock.receiverKnown = c.receiverKnown;
    pruning.clock.receiverUtc = c.wall + c.receiverLead;
    pruning.clock.systemSynchronized = c.synchronized;
    EXPECT_EQ(pruning.Look(60), 0) << c.reason;
    EXPECT_EQ(pruning.Look(60), 0) << c.reason;
    EXPECT_TRUE(pruning.Exists("2026/300/posn-20261027.dmp")) << c.reason;
    ASSERT_EQ(pruning.failures.size(), 1u) << c.reason << ": said once";
    EXPECT_NE(pruning.failures[0].find(c.reason), std::string::npos) << pruning.failures[0];
    EXPECT_EQ(pruning.failures[0].rfind("--keep deletes nothing for now: ", 0), 0u);
  }
  // The receiver's time agrees (a little apart): it vouches for a clock that finds every
  // earlier file old.
  Pruning vouched(kSplitDay, 10 * kDay);
  vouched.Make("2026/300/posn-20261027.dmp", kTenOClock - 41 * kDay);
  vouched.clock.systemSynchronized = false;
  vouched.clock.receiverKnown = true;
  vouched.clock.receiverUtc = kTenOClock + 30;
  EXPECT_EQ(vouched.Look(), 1);
}

// A step of the wall clock against the monotonic one holds deletions off until the clock
// has run steadily for a while.
TEST(Retention, AJumpOfTheClockHoldsDeletionsOffForAWhile) {
  Pruning pruning(kSplitDay, 10 * kDay);
  pruning.Make("2026/336/posn-20261202.dmp", kTenOClock - 5 * kDay);
  pruning.Make("2026/341/posn-20261207.dmp", kTenOClock - 60);
  EXPECT_EQ(pruning.Look(), 0) << "nothing old yet";
  pruning.clock.wall += 10 * kDay;  // set ten days on within a minute
  pruning.clock.tick += 60000;
  EXPECT_EQ(pruning.Look(5 * 60), 0);
  EXPECT_EQ(pruning.Look(kClockSettleMs / 1000 - 5 * 60), 0) << "still settling";
  ASSERT_EQ(pruning.failures.size(), 1u);
  EXPECT_NE(pruning.failures[0].find("jumped by +10 days"), std::string::npos)
      << pruning.failures[0];
  EXPECT_EQ(pruning.Look(), 1) << "steady again";
  EXPECT_EQ(pruning.said.front(), "--keep deletes old files again: the clock can be trusted.");
  EXPECT_TRUE(pruning.Exists("2026/341/posn-20261207.dmp"));
}

// The clock said 1 November when the run began and was set right 15 s later: the file the
// run named after 1 November holds today's data and is kept as long as today's would be,
// by the run's own clock, wherever that clock stands (across 2^31 and 2^32 ms too).
TEST(Retention, WhatThisRunWroteAgesByItsOwnClock) {
  for (Tick base : {Tick(5000), (Tick(1) << 31) - 300, (Tick(1) << 32) - 300}) {
    SCOPED_TRACE(base);
    Pruning pruning(kSplitDay, 30 * kDay);
    const std::time_t november = kTenOClock - 36 * kDay - 10 * 3600;  // 2026-11-01 00:00
    pruning.Make("2026/305/posn-20261101.dmp", november + 5);
    pruning.Make("2026/250/posn-20260907.dmp", november - 50 * kDay);  // an earlier run's
    pruning.clock.wall = november + 5;
    pruning.clock.tick = base;
    NoteWrittenPeriod(pruning.written, november, kSplitDay, november + 5, base);
    EXPECT_EQ(pruning.Look(10), 1) << "the earlier run's old file";
    pruning.clock.wall = kTenOClock;  // set right
    EXPECT_EQ(pruning.Look(kClockSettleMs / 1000 + 60), 0) << "the jump";
    EXPECT_EQ(pruning.Look(), 0) << "36 days old by the wall clock, minutes by the run's";
    EXPECT_TRUE(pruning.Exists("2026/305/posn-20261101.dmp"));
    Tick dayEnds = base + (kDay - 5) * 1000;  // by the run's clock
    pruning.clock.tick = dayEnds + 30 * kDay * 1000 - 1;
    pruning.clock.wall = kTenOClock + 31 * kDay;
    EXPECT_EQ(pruning.Look(), 0);
    pruning.clock.tick += 1;
    EXPECT_EQ(pruning.Look(), 1);
    EXPECT_FALSE(pruning.Exists("2026/305/posn-20261101.dmp"));
  }
}

}  // namespace
