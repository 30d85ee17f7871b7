// SPDX-License-Identifier: BSD-2-Clause
// Recorded sessions as regression tests: each tests/sessions/NAME.rec is played by the
// simulated receiver (ten times faster) to the connection and capture code that the
// panel and tarnex-log run, and the dump files must equal those in tests/sessions/NAME/
// byte for byte (a stream that wrote nothing has no file there). A new case is a
// recording and the folder of its dump files.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "recorder/recording.h"
#include "sim/replay.h"
#include "tests/child_process.h"
#include "tests/connection_fixture.h"
#include "tests/recording_read.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"
#include "tests/test_bytes.h"

namespace {

namespace fs = std::filesystem;

// "" when equal; otherwise the sizes and the first byte that differs.
std::string Difference(const std::string& got, const std::string& expected) {
  if (got == expected) return "";
  size_t at = 0;
  while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
  return std::to_string(got.size()) + " bytes, expected " + std::to_string(expected.size()) +
         "; the first difference at byte " + std::to_string(at);
}

fs::path SessionsDir() {
  return fs::path(PathFrom("TARNEX_SOURCE_DIR", TARNEX_SOURCE_DIR)) / "tests" / "sessions";
}

// A recording as a replay would play it.
Replay Loaded(const fs::path& path) {
  Replay replay;
  std::string error;
  EXPECT_TRUE(LoadReplay(path.c_str(), replay, error)) << path << ": " << error;
  return replay;
}

// Every byte the receiver sent after identifying itself but the screens, joined in order.
std::vector<uint8_t> Joined(const Replay& replay) {
  std::vector<uint8_t> joined;
  for (const ReplayChunk& chunk : replay.stream)
    joined.insert(joined.end(), chunk.bytes.begin(), chunk.bytes.end());
  return joined;
}

struct SessionTest : ConnectionTest {
  ScratchDir scratch;
  fs::path out = scratch.path;
  Recorder recorder;

  // Asks for the screen as the panel's timer does, and waits for the answer.
  bool PollAndAwaitScreen() {
    queue.TakeScreen(0);  // one that came before this poll is not its answer
    if (PollReceiver(*connection, TickCount(), 0) != 0) return false;
    bool came = queue.TakeScreen(2000);
    NoteScreen(*connection, connection->attempt.number);
    return came;
  }
};

// Each recording is played ten times faster to a connection that logs, polls as the panel
// does and is itself recorded: the dump files equal the expected ones byte for byte, and
// the new recording holds the same receiver (answering the probe or not), the same screens in the
// same order, each between two items, and the same stream of everything else.
TEST_F(SessionTest, RecordedSessionsGiveTheirDumpFilesAndReplayInOrder) {
  int cases = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(SessionsDir())) {
    if (entry.path().extension() != ".rec") continue;
    ++cases;
    SCOPED_TRACE(entry.path().filename().string());
    Replay replay = Loaded(entry.path());
    ASSERT_FALSE(replay.identification.empty());
    FakeReceiver receiver;
    ReceiverScript script;
    ScriptReplay(script, replay, 10);
    ASSERT_TRUE(StartFakeReceiver(receiver, script));
    connection = std::make_unique<Connection>();
    SetUp();
    SetDumpDirectory(*connection->capture, out.string());
    SetLogging(connection->capture->logging, 1);
    const fs::path again = out / "again.rec";
    ASSERT_TRUE(StartRecording(recorder, again.c_str()));
    AttachRecorder(*connection, &recorder);
    ASSERT_EQ(Connect(receiver), kOutcomeConnected);
    size_t polls = 0;
    while (!receiver.player.done || polls < replay.screens.size()) {
      ASSERT_TRUE(PollAndAwaitScreen()) << "poll " << polls;
      ++polls;
      ASSERT_LT(polls, 1000u);
      DrainRecording(recorder);
      std::this_thread::sleep_for(std::chrono::milliseconds(90));  // 900 ms, ten times faster
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the last bytes are read
    EndConnection(*connection);
    AttachRecorder(*connection, nullptr);
    StopRecording(recorder);
    fs::path expected = entry.path().parent_path() / entry.path().stem();
    for (const char* name : {"posn.dmp", "obsd.dmp", "corr.dmp", "nmea.dmp"}) {
      EXPECT_EQ(Difference(FileText(out / name), FileText(expected / name)), "") << name;
      fs::remove(out / name);
    }
    Replay original = Loaded(entry.path());
    Replay replayed = Loaded(again);
    EXPECT_EQ(replayed.identification, original.identification);
    EXPECT_EQ(replayed.answersProbe, original.answersProbe);
    EXPECT_TRUE(Joined(replayed) == Joined(original));
    std::vector<bool> between = ItemBoundaries(Joined(original));  // no screen cuts an item
    for (size_t offset : replayed.screenOffsets) EXPECT_TRUE(between[offset]) << offset;
    ASSERT_GE(replayed.screens.size(), original.screens.size());
    replayed.screens.resize(original.screens.size());  // the last repeats once they run out
    EXPECT_TRUE(replayed.screens == original.screens);
  }
  EXPECT_GE(cases, 2) << "recordings in " << SessionsDir();
}

// The probe is answered as the recorded receiver did: at once, or not at all and the
// identification sent by itself after as long as it took (tarnex-sim --no-ack: 500 ms).
TEST(Replay, TheProbeIsAnsweredAsRecorded) {
  struct Case {
    const char* recording;
    bool answers;
    int leastMs, mostMs;
  };
  for (const Case& c :
       {Case{"sim-garbage.rec", true, -1, -1}, Case{"no-ack.rec", false, 450, 600}}) {
    Replay replay;
    std::string error;
    ASSERT_TRUE(LoadReplay((SessionsDir() / c.recording).c_str(), replay, error)) << error;
    EXPECT_EQ(replay.answersProbe, c.answers) << c.recording;
    EXPECT_GE(replay.unaskedReplyMs, c.leastMs) << c.recording;
    EXPECT_LE(replay.unaskedReplyMs, c.mostMs) << c.recording;
  }
}

// Screens are cut out of the stream wherever the reads split them; every other byte stays,
// in order and in the chunk it came in.
TEST(Replay, ScreensAreCutOutOfTheStream) {
  Bytes frame = Frame(0x82, Cat({{'A'}, Bytes(160, 0)}));
  std::vector<uint8_t> first = {'$', 'G'};
  first.insert(first.end(), frame.begin(), frame.begin() + 100);
  std::vector<uint8_t> second(frame.begin() + 100, frame.end());
  second.insert(second.end(), {0x02, 0x00, 0x82, 0x05, 'x'});  // a cut frame: data
  std::vector<ReplayChunk> stream = {{10, first}, {20, second}};
  std::vector<std::vector<uint8_t>> screens;
  SplitScreens(stream, screens);
  ASSERT_EQ(screens.size(), 1u);
  EXPECT_EQ(screens[0], frame);
  ASSERT_EQ(stream.size(), 2u);
  EXPECT_EQ(stream[0].bytes, (std::vector<uint8_t>{'$', 'G'}));
  EXPECT_EQ(stream[1].bytes, (std::vector<uint8_t>{0x02, 0x00, 0x82, 0x05, 'x'}));
  EXPECT_EQ(stream[1].microseconds, 20u);
}

// What two threads record comes back whole and in each thread's order, with times that
// never go back; a file cut inside a record reads up to the last whole one.
TEST(Recording, EventsFromTwoThreadsReadBackInOrder) {
  ScratchDir scratch;
  std::string path = scratch / "session.rec";
  auto recorder = std::make_unique<Recorder>();
  ASSERT_TRUE(StartRecording(*recorder, path.c_str()));
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

  std::vector<ReadBack> records = ReadAllRecords(path);
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

  ASSERT_EQ(truncate(path.c_str(), kRecordingHeaderSize + 16 + 3), 0);
  records = ReadAllRecords(path);
  EXPECT_EQ(records.size(), 1u) << "the line record is whole, the next is cut";
}

// A disk that does not keep up: what does not fit is dropped and counted, never waited
// for, and the recording says so.
TEST(Recording, AFullBufferDropsAndSaysSo) {
  StatusCapture status;
  ScratchDir scratch;
  std::string path = scratch / "session.rec";
  auto recorder = std::make_unique<Recorder>();
  ASSERT_TRUE(StartRecording(*recorder, path.c_str()));
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
  std::vector<ReadBack> records = ReadAllRecords(path);
  ASSERT_EQ(records.size(), 36u);  // 17 chunks and the note, twice
  EXPECT_EQ(records[17].payload, "3 events dropped: the disk did not keep up");
  EXPECT_EQ(records.back().kind, kRecordNote);
  EXPECT_EQ(records.back().payload, "3 events dropped: the disk did not keep up");
}

}  // namespace
