// SPDX-License-Identifier: BSD-2-Clause
// Writes that fail part way through an item, as on a full disk: the file size limit
// (RLIMIT_FSIZE, with SIGXFSZ ignored) cuts a write short and fails the rest with EFBIG,
// without root and without a file system of its own.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "capture/dump_file.h"
#include "tests/file_size_limit.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"
#include "tests/test_bytes.h"
#include "tests/whole_items.h"

namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Items that do not fit are lost whole, never in part; once there is room again the
// stream writes on behind the last whole item, for frames and sentences alike.
TEST(DumpLimit, AnItemCutShortIsTakenBackAndTheFileStaysWhole) {
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
    std::string file = ReadWhole(scratch / (c.sentences ? "nmea.dmp" : "posn.dmp"));
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

}  // namespace
