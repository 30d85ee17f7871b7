// SPDX-License-Identifier: BSD-2-Clause
// Recorded sessions as regression tests: each tests/sessions/NAME.rec is played by the
// simulated receiver (ten times faster) to the connection and capture code that the
// panel and tarnex-log run, and the dump files must equal those in tests/sessions/NAME/
// byte for byte. A new case is a recording and the folder of its dump files.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "link/packet.h"
#include "sim/replay.h"
#include "tests/connection_fixture.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path SessionsDir() {
  const char* source = std::getenv("TARNEX_SOURCE_DIR");  // a copy elsewhere, for another user
  return fs::path(source != nullptr ? source : TARNEX_SOURCE_DIR) / "tests" / "sessions";
}

TEST_F(ConnectionTest, RecordedSessionsGiveTheirDumpFiles) {
  int cases = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(SessionsDir())) {
    if (entry.path().extension() != ".rec") continue;
    ++cases;
    SCOPED_TRACE(entry.path().filename().string());
    Replay replay;
    std::string error;
    ASSERT_TRUE(LoadReplay(entry.path().c_str(), replay, error)) << error;
    FakeReceiver receiver;
    ReceiverScript script = Script(replay.identification.c_str());
    script.replay = &replay;
    script.speedUp = 10;
    ASSERT_TRUE(StartFakeReceiver(receiver, script));
    fs::path out = fs::temp_directory_path() / ("tarnex-session-" + std::to_string(getpid()));
    fs::create_directories(out);
    connection = std::make_unique<Connection>();
    SetUp();
    connection->capture->dumpDirectory = out.string();
    SetLogging(connection->capture->logging, 1);
    ASSERT_EQ(Connect(receiver), kOutcomeConnected);
    for (int i = 0; i < 300 && !receiver.replayDone; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(receiver.replayDone);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the last bytes are read
    EndConnection(*connection);
    fs::path expected = entry.path().parent_path() / entry.path().stem();
    for (const char* name : {"posn.dmp", "obsd.dmp", "corr.dmp", "nmea.dmp"}) {
      EXPECT_EQ(ReadFile(out / name), ReadFile(expected / name)) << name;
    }
    fs::remove_all(out);
  }
  EXPECT_GE(cases, 1) << "no recordings in " << SessionsDir();
}

// Screens are cut out of the stream wherever the reads split them; every other byte stays,
// in order and in the chunk it came in.
TEST(Replay, ScreensAreCutOutOfTheStream) {
  uint8_t screen[kMaxFrameLength];
  uint8_t data[161] = {'A'};
  int size = BuildFrame(0x82, data, 161, screen);
  std::vector<uint8_t> frame(screen, screen + size);
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

}  // namespace
