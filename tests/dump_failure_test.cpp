// SPDX-License-Identifier: BSD-2-Clause
// Dump files when the disk or the folder fails under them, where Linux lets a test make
// it so without root: the file size limit (RLIMIT_FSIZE, SIGXFSZ ignored) cuts a write
// short as a full disk does, and an open file can be removed or moved away (Windows
// refuses both while the file is open).

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/dump_file.h"
#include "capture/dump_write.h"
#include "tests/file_size_limit.h"
#include "tests/local_time_at.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"
#include "tests/test_bytes.h"
#include "tests/whole_items.h"

namespace {

// Items that do not fit are lost whole, never in part; once there is room again the
// stream writes on behind the last whole item, for frames and sentences alike.
TEST(DumpFailure, AnItemCutShortIsTakenBackAndTheFileStaysWhole) {
  const struct {
    DumpStreamId stream;
    Bytes item;
    bool sentences;
  } cases[] = {
      {kPosnStream, Frame(0x40, Bytes(41, 0x5A)), false},
      {kNmeaStream, Text(Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,,M,,")),
       true},
  };
  for (const auto& c : cases) {
    StatusCapture status;
    ScratchDir scratch;
    LoggingSwitch logging;
    SetLogging(logging, 1);
    DumpSlot slot;
    DumpClock now{5000, 0};
    const int fitting = 20;
    auto write = [&] {
      return WriteDump(logging, scratch.Str().c_str(), c.stream, c.item.data(),
                       static_cast<int>(c.item.size()), slot, now);
    };
    {
      FileSizeLimit limit(c.item.size() * fitting + c.item.size() / 2);
      for (int i = 0; i < fitting; ++i) ASSERT_EQ(write(), 1) << i;
      for (int i = 0; i < 5; ++i) EXPECT_EQ(write(), -1) << "no room for a whole item";
    }
    EXPECT_EQ(write(), 1) << "room again";
    CloseDump(slot);
    std::string file = FileText(scratch / (c.sentences ? "nmea.dmp" : "posn.dmp"));
    EXPECT_EQ(WholeItemsProblem(file, c.sentences), "");
    EXPECT_EQ(file.size(), c.item.size() * (fitting + 1));
    EXPECT_EQ(slot.count.items, static_cast<unsigned long>(fitting + 1));
    EXPECT_EQ(slot.count.lostItems, 5u);
    ASSERT_EQ(status.Failures().size(), 2u);
    EXPECT_NE(status.Failures()[0].find(": File too large. Its items are counted as lost"),
              std::string::npos)
        << status.Failures()[0];
    EXPECT_NE(status.Failures()[1].find(" again; 5 items ("), std::string::npos)
        << status.Failures()[1];
  }
}

// Items written together (what one read brought) that do not all fit: each that still
// fits is kept whole, the rest are counted as lost, and the file stays a run of whole items.
TEST(DumpFailure, ItemsWrittenTogetherThatDoNotAllFitAreKeptOneByOne) {
  StatusCapture status;
  ScratchDir scratch;
  LoggingSwitch logging;
  SetLogging(logging, 1);
  DumpSlot slot;
  DumpClock now{5000, 0};
  const Bytes item = Frame(0x40, Bytes(41, 0x5A));
  auto writeTogether = [&](int items) {
    Bytes joined;
    std::vector<uint16_t> lengths;
    for (int i = 0; i < items; ++i) {
      joined.insert(joined.end(), item.begin(), item.end());
      lengths.push_back(static_cast<uint16_t>(item.size()));
    }
    return WriteDumpItems(logging, scratch.Str().c_str(), kPosnStream, joined.data(),
                          lengths.data(), items, slot, now);
  };
  {
    FileSizeLimit limit(item.size() * 5 + item.size() / 2);
    EXPECT_EQ(writeTogether(4), 4);
    EXPECT_EQ(writeTogether(3), 1) << "room for one more whole item";
  }
  EXPECT_EQ(writeTogether(2), 2);
  CloseDump(slot);
  std::string file = FileText(scratch / "posn.dmp");
  EXPECT_EQ(WholeItemsProblem(file, false), "");
  EXPECT_EQ(file.size(), item.size() * 7);
  EXPECT_EQ(slot.count.items, 7u);
  EXPECT_EQ(slot.count.lostItems, 2u);
  ASSERT_EQ(status.Failures().size(), 2u) << "the spell's start and its end, once each";
  EXPECT_NE(status.Failures()[1].find(" again; 2 items ("), std::string::npos)
      << status.Failures()[1];
}

// A file removed while logging is noticed within a second, said with the items that went
// with it (counted as lost), and made anew at its place; one moved away keeps its items.
TEST(DumpFailure, AVanishedFileIsMadeAnew) {
  LoggingSwitch logging;
  SetLogging(logging, 1);
  Bytes item = Frame(0x40, {1});
  for (bool removed : {true, false}) {
    SCOPED_TRACE(removed);
    StatusCapture status;
    ScratchDir scratch;
    DumpClock now{1000, LocalTimeAt(2026, 12, 7, 10, 0, 0)};
    DumpSlot slot;
    auto write = [&] {
      return WriteDump(logging, scratch.Str().c_str(), kPosnStream, item.data(),
                       static_cast<int>(item.size()), slot, now);
    };
    ASSERT_EQ(write(), 1);
    ASSERT_EQ(write(), 1);
    std::string path = scratch / "posn.dmp";
    if (removed) {
      std::remove(path.c_str());
    } else {
      std::rename(path.c_str(), (scratch / "elsewhere.dmp").c_str());
    }
    ASSERT_EQ(write(), 1) << "within the second: not looked at yet";
    now.tick += 1000;
    ASSERT_EQ(write(), 1);
    CloseDump(slot);
    EXPECT_EQ(FileText(path), std::string(item.begin(), item.end()));
    EXPECT_EQ(slot.count.items, 4u) << "a count of what was written never goes down";
    EXPECT_EQ(slot.count.items - slot.count.removedItems, removed ? 1u : 4u) << "in the file";
    EXPECT_EQ(slot.count.lostItems, removed ? 3u : 0u);
    std::string shown = (std::filesystem::absolute(scratch.path) / "posn.dmp").string();
    ASSERT_EQ(status.Failures().size(), 1u);
    EXPECT_EQ(status.Failures()[0],
              removed ? shown +
                            " was removed while logging; 3 items (21 B) written into it since "
                            "10:00:00 went with it. Writing it anew."
                      : shown +
                            " was moved away while logging, with what was written into it. "
                            "Writing it anew.");
  }
}

}  // namespace
