// SPDX-License-Identifier: BSD-2-Clause
#include "recorder/recording.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/recording_read.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"

namespace {

struct TempFile {
  ScratchDir scratch;
  std::string path = scratch / "session.rec";
};

// What two threads record comes back whole and in each thread's order, with times that
// never go back; a file cut inside a record reads up to the last whole one.
TEST(Recording, EventsFromTwoThreadsReadBackInOrder) {
  TempFile file;
  auto recorder = std::make_unique<Recorder>();
  ASSERT_TRUE(StartRecording(*recorder, file.path.c_str()));
  RecordLineSettings(*recorder, 38400, 2);
  std::thread reader([&] {
    for (int i = 0; i < 500; ++i) {
      std::string text = "r" + std::to_string(i);
      RecordBytes(*recorder, kRecordReceived, reinterpret_cast<const uint8_t*>(text.data()),
                  static_cast<int>(text.size()));
    }
  });
  for (int i = 0; i < 500; ++i) {
    std::string text = "s" + std::to_string(i);
    RecordBytes(*recorder, kRecordSent, reinterpret_cast<const uint8_t*>(text.data()),
                static_cast<int>(text.size()));
    if (i % 100 == 0) DrainRecording(*recorder);
  }
  reader.join();
  RecordBreak(*recorder, 300);
  StopRecording(*recorder);

  std::vector<ReadBack> records = ReadAllRecords(file.path);
  ASSERT_EQ(records.size(), 1002u);
  EXPECT_EQ(records[0].kind, kRecordLine);
  EXPECT_EQ(records[0].payload, std::string("\x00\x96\x00\x00\x02", 5));
  int received = 0, sent = 0;
  for (size_t i = 1; i + 1 < records.size(); ++i) {
    EXPECT_GE(records[i].microseconds, records[i - 1].microseconds);
    int& next = records[i].kind == kRecordReceived ? received : sent;
    EXPECT_EQ(records[i].payload.substr(1), std::to_string(next++));
  }
  EXPECT_EQ(received, 500);
  EXPECT_EQ(sent, 500);
  EXPECT_EQ(records.back().kind, kRecordBreak);

  ASSERT_EQ(truncate(file.path.c_str(), kRecordingHeaderSize + 16 + 3), 0);
  records = ReadAllRecords(file.path);
  EXPECT_EQ(records.size(), 1u) << "the line record is whole, the next is cut";
}

// A disk that does not keep up: what does not fit is dropped and counted, never waited
// for, and the recording says so.
TEST(Recording, AFullBufferDropsAndSaysSo) {
  StatusCapture status;
  TempFile file;
  auto recorder = std::make_unique<Recorder>();
  ASSERT_TRUE(StartRecording(*recorder, file.path.c_str()));
  std::vector<uint8_t> chunk(60000, 0x55);
  for (int i = 0; i < 20; ++i) {
    RecordBytes(*recorder, kRecordReceived, chunk.data(), static_cast<int>(chunk.size()));
  }
  EXPECT_EQ(recorder->droppedTotal, 3u) << "17 chunks fit in 1 MiB";
  DrainRecording(*recorder);
  for (int i = 0; i < 20; ++i) {  // the same spell of losses goes on
    RecordBytes(*recorder, kRecordReceived, chunk.data(), static_cast<int>(chunk.size()));
  }
  EXPECT_EQ(recorder->droppedTotal, 6u);
  StopRecording(*recorder);
  EXPECT_EQ(status.Failures().size(), 1u) << "shown once, not at each drain";
  std::vector<ReadBack> records = ReadAllRecords(file.path);
  ASSERT_EQ(records.size(), 36u);  // 17 chunks and the note, twice
  EXPECT_EQ(records[17].payload, "3 events dropped: the disk did not keep up");
  EXPECT_EQ(records.back().kind, kRecordNote);
  EXPECT_EQ(records.back().payload, "3 events dropped: the disk did not keep up");
}

}  // namespace
