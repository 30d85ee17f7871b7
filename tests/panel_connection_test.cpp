// SPDX-License-Identifier: BSD-2-Clause
// The panel's connection as a user meets it: a window that answers while it connects, logs
// that survive reconnects, and a lost receiver with reconnecting off.

#include <QAction>
#include <QTimer>
#include <filesystem>
#include <string>

#include "base/status_message.h"
#include "panel/display_widget.h"
#include "panel/main_window.h"
#include "tests/panel_fixture.h"
#include "tests/scratch_dir.h"
#include "tests/test_bytes.h"

namespace {

// A scratch directory for dump files, and a link that stands for the device, as a
// /dev/serial/by-id/ name or tarnex-sim's --link does.
struct PanelConnectionTest : PanelTest {
  ScratchDir scratch;
  std::string directory = scratch.Str();
  std::string device = scratch / "receiver";

  void SetUp() override { SetDumpDirectory(*panel->connection.capture, directory); }
  void TearDown() override { panel.reset(); }
  void PointDeviceAt(FakeReceiver& target) {
    std::filesystem::remove(device);
    std::filesystem::create_symlink(FakeReceiverPath(target), device);
  }
  std::string Dump(const char* name) { return directory + "/" + name; }
  // Everything sent so far has been logged when a marker item is in the file.
  bool WaitLogged(const char* name, const Bytes& ending) {
    return SpinUntil([&] {
      Bytes file = FileBytes(Dump(name));
      return file.size() >= ending.size() &&
             std::equal(ending.begin(), ending.end(),
                        file.end() - static_cast<long>(ending.size()));
    });
  }
  int KeptFiles() {
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
      kept += entry.path().filename().string().find('-') != std::string::npos;
    }
    return kept;
  }
};

TEST_F(PanelConnectionTest, TheWindowAnswersWhileASlowReceiverIsFound) {
  ReceiverScript script = Script(kMorwick);
  script.enqReply = EnqReply::kSilent;  // found by the break path, its reply 1.5 s late
  script.unaskedReplyMs = 1500;
  StartReceiver(script);
  panel->messageBox = Answer;
  panel->messageBoxContext = this;
  std::string line = "-D " + std::string(FakeReceiverPath(receiver));
  ASSERT_TRUE(StartUp(*panel, line.c_str()));

  QElapsedTimer clock;
  clock.start();
  qint64 firedAt = -1;
  QTimer::singleShot(100, panel->window, [&] { firedAt = clock.elapsed(); });
  int paints = panel->display->Paints();
  panel->display->update();
  bool sawChecking = false;
  ASSERT_TRUE(SpinUntil([&] {
    sawChecking = sawChecking || Message() == "Checking for GPS receiver...";
    return firedAt >= 0 && panel->display->Paints() > paints && clock.elapsed() > 300;
  }));
  EXPECT_LT(firedAt, 600) << "the event loop turns during the connect";
  EXPECT_TRUE(Connecting(panel->connection));
  DispatchCommand(*panel, 2055);  // a key while connecting sends nothing
  ASSERT_TRUE(WaitForOutcome());
  EXPECT_TRUE(sawChecking);
  EXPECT_EQ(Connected(), 1);
  Spin(100);
  // On the wire as ever: ENQ, no request (the break path), then the four keys of a
  // start-up, and no Control key.
  EXPECT_EQ(ReceivedBytes(receiver)[0], kEnq);
  EXPECT_EQ(Count(0x6F), 0);
  EXPECT_EQ(Keys(), (std::vector<int>{0x50, 0x50, 0x50, 0x50}));
}

TEST_F(PanelConnectionTest, ReconnectsAndModeChangesWriteOnWhileANewPeriodKeepsTheOldFile) {
  StartReceiver(Script(kMorwick));
  PointDeviceAt(receiver);
  StartPanel(device, "");
  DispatchCommand(*panel, kLoggingOnCommand);
  Send(receiver, Cat({Posn(1), Gga(1)}));
  ASSERT_TRUE(WaitLogged("posn.dmp", Posn(1)));
  DispatchCommand(*panel, kConnectCommand);
  ASSERT_TRUE(WaitForOutcome());
  Send(receiver, Cat({Posn(2), Gga(2)}));
  ASSERT_TRUE(WaitLogged("posn.dmp", Posn(2)));
  DispatchCommand(*panel, kFourLineMode);  // posts a Connect command
  ASSERT_TRUE(SpinUntil([&] { return EnqCount(receiver) == 3; }));
  ASSERT_TRUE(WaitForOutcome());
  Send(receiver, Cat({Posn(3), Gga(3)}));
  ASSERT_TRUE(WaitLogged("nmea.dmp", Gga(3)));
  EXPECT_EQ(FileBytes(Dump("posn.dmp")), Cat({Posn(1), Posn(2), Posn(3)}));
  EXPECT_EQ(FileBytes(Dump("nmea.dmp")), Cat({Gga(1), Gga(2), Gga(3)}));
  EXPECT_EQ(KeptFiles(), 0);

  DispatchCommand(*panel, kLoggingOffCommand);
  DispatchCommand(*panel, kLoggingOnCommand);
  Send(receiver, Posn(4));
  ASSERT_TRUE(WaitLogged("posn.dmp", Posn(4)));
  EXPECT_EQ(FileBytes(Dump("posn.dmp")), Posn(4));
  EXPECT_EQ(KeptFiles(), 1);
}

TEST_F(PanelConnectionTest, WithReconnectOffALostReceiverWaitsForConnect) {
  StartReceiver(Script(kMorwick));
  StartPanel(FakeReceiverPath(receiver), "-M");
  EXPECT_FALSE(panel->actions[kAutoReconnectCommand]->isChecked());
  HangUpFakeReceiver(receiver);
  ASSERT_TRUE(SpinUntil([&] { return panel->connection.state == LinkState::kLost; }, 3000));
  EXPECT_TRUE(Message().contains("use Connect to reconnect")) << Message().toStdString();
  EXPECT_FALSE(panel->controller->reconnectTimer()->isActive());
  DispatchCommand(*panel, kAutoReconnectCommand);  // the Device menu's item turns it on
  EXPECT_TRUE(panel->actions[kAutoReconnectCommand]->isChecked());
  EXPECT_TRUE(panel->controller->reconnectTimer()->isActive());
  EXPECT_TRUE(Message().contains("reconnecting to")) << Message().toStdString();
}

}  // namespace
