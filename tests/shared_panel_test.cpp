// SPDX-License-Identifier: BSD-2-Clause
// Panels attached to a receiver through tarnex-log --share: this process's panel, the
// panel program, and a scripted tool that polls three times as often as a panel.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "link/packet_type.h"
#include "panel/keypad.h"
#include "tests/log_run.h"
#include "tests/loopback_client.h"
#include "tests/panel_fixture.h"
#include "tests/whole_items.h"

namespace {

constexpr int kFourLine = 40002;
const Bytes kLongRequest = {0x00, 0x00, 0x78, 0x30, 0x38};

int CommandFor(int code) {
  for (int id = kFirstKeyCommand; id <= kLastKeyCommand; ++id) {
    if (KeyCodeFor(id, kFourLine) == code) return id;
  }
  return -1;
}

std::string Shown(const Panel& panel) {
  const ScreenImage& screen = panel.screen.plain;
  return std::string(screen.bytes, screen.bytes + 160);
}

int LongRequestsSince(FakeReceiver& receiver, SimClock::time_point since) {
  int count = 0;
  for (const SeenPacket& packet : ReceivedPackets(receiver))
    count += packet.type == 0x82 && packet.data == kLongRequest && packet.at >= since;
  return count;
}

// The frames of one type in a stream of whole items, back to back.
Bytes FramesOfType(const Bytes& stream, uint8_t type) {
  Bytes frames;
  ForEachItem(stream, [&](const uint8_t* item, size_t size, bool frame) {
    if (frame && item[2] == type) frames.insert(frames.end(), item, item + size);
  });
  return frames;
}

struct SharedPanels : ::testing::Test {
  LoggedReceiver logged;
  FakeReceiver& receiver = logged.receiver;
  LogRun& logger = logged.run;
  ScratchDir scratch;
  int port = 0;
  pid_t program = -1;  // the panel program, ended with the test whatever its outcome

  void TearDown() override { StopProgram(program); }

  void SetUp() override {
    ASSERT_TRUE(logged.Start({"--share", "0"}, 5));
    port = logged.Port("sharing the receiver");
  }
  // The panel program, off screen, with settings of its own.
  void StartPanelProgram() {
    program = StartProgram({PathFrom("TARNEX_PANEL_PATH", TARNEX_PANEL_PATH), "-D",
                            "tcp://127.0.0.1:" + std::to_string(port)},
                           "/dev/null",
                           {{"XDG_CONFIG_HOME", scratch.Str()}, {"QT_QPA_PLATFORM", "offscreen"}});
  }
};

// Each panel shows the receiver's screen and follows keys pressed on the other; keys reach
// the receiver in the order each sent them; the receiver is asked for its screen no more
// often than by one panel; and what the panel logs is what the logger logs, whole.
TEST_F(SharedPanels, TwoPanelsAndAToolShareOneLoggedReceiver) {
  Panel panel;
  panel.messageBox = [](void*, const char*, const char*) {};
  std::string folder = scratch / "panel-logs";
  std::filesystem::create_directory(folder);
  SetDumpDirectory(*panel.connection.capture, folder);
  ASSERT_TRUE(StartUp(panel, ("-D tcp://127.0.0.1:" + std::to_string(port)).c_str()));
  ASSERT_TRUE(SpinUntil([&] { return IsConnected(panel.connection) && panel.screen.haveScreen; }));
  DispatchCommand(panel, kLoggingOnCommand);
  StartPanelProgram();
  LoopbackClient tool(port);
  ASSERT_GE(tool.fd, 0);
  tool.Send(Handshake());
  ASSERT_TRUE(SpinUntil([&] {
    tool.Read(0);
    return tool.Got(Frame(TypeByte(PacketType::kIdentificationReply), Text(kMorwick)));
  }));
  ASSERT_TRUE(SpinUntil([&] { return Occurrences(logger.Output(), " attached;") >= 3; }))
      << logger.Output();

  // Polled by all three for a while, the tool every 300 ms.
  Spin(1500);  // the program's start-up keys and first polls are over
  auto since = SimClock::now();
  int toolPolls = 0;
  for (; toolPolls < 15; ++toolPolls) {
    tool.Send(Frame(TypeByte(PacketType::kScreen), kLongRequest));
    Spin(300);
    tool.Read(0);
  }
  int requests = LongRequestsSince(receiver, since);
  EXPECT_LE(requests, 4500 / 900 + 2) << "the tool alone asked " << toolPolls << " times";
  EXPECT_GE(requests, 4500 / 900 - 1);

  // Keys from the panel and from the tool, each in its order; each panel follows.
  std::string before = Shown(panel);
  const char* toolKeys = "123";
  for (int code : {'K', 'O', 'J'}) {
    DispatchCommand(panel, CommandFor(code));
    tool.Send(Frame(TypeByte(PacketType::kKey), {static_cast<uint8_t>(*toolKeys++)}));
    Spin(150);
  }
  ASSERT_TRUE(SpinUntil([&] { return Shown(panel) != before; })) << Shown(panel);
  std::vector<int> fromPanel;
  std::vector<int> fromTool;
  for (int key : SentKeys(receiver)) {
    if (key == 'K' || key == 'O' || key == 'J') fromPanel.push_back(key);
    if (key >= '1' && key <= '3') fromTool.push_back(key);
  }
  EXPECT_EQ(fromPanel, (std::vector<int>{'K', 'O', 'J'}));
  EXPECT_EQ(fromTool, (std::vector<int>{'1', '2', '3'}));

  // Everything the panel and the tool logged or got, the logger's files hold, whole.
  StopSendingData(receiver);
  Spin(1000);
  tool.Read(100);
  DispatchCommand(panel, kLoggingOffCommand);
  EXPECT_EQ(logger.Signal(SIGTERM), 0) << logger.Output();
  for (const char* name : {"posn.dmp", "obsd.dmp", "corr.dmp", "nmea.dmp"}) {
    Bytes logged = FileBytes(logger.dir + "/" + name);
    Bytes panelLogged = FileBytes(folder + "/" + name);
    ASSERT_FALSE(panelLogged.empty()) << name;
    EXPECT_TRUE(EndsWith(logged, panelLogged)) << name << ": not the end of the logger's file";
  }
  Bytes toolObservations = FramesOfType(tool.received, TypeByte(PacketType::kRawObservation));
  ASSERT_FALSE(toolObservations.empty());
  EXPECT_TRUE(EndsWith(FileBytes(logger.dir + "/obsd.dmp"), toolObservations))
      << "the tool did not get every observation since it attached";
}

}  // namespace
