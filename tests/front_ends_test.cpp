// SPDX-License-Identifier: BSD-2-Clause
// What both front ends promise about the line, written once and run against each: the
// panel in this process, tarnex-log as its own program, and the panel attached through
// tarnex-log --share. A receiver that is not there yet is waited for, one unplugged and
// plugged in again is logged on at the end of the same files, and one that falls silent
// is taken as lost and found again.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/log_run.h"
#include "tests/panel_fixture.h"
#include "tests/scratch_dir.h"
#include "tests/test_bytes.h"

namespace {

// A front end as a scenario drives it: started on a device with logging into a folder,
// and everything it has said so far.
struct FrontEnd {
  virtual ~FrontEnd() = default;
  virtual void Start(const std::string& device, const std::string& folder,
                     const std::vector<std::string>& extra) = 0;
  virtual std::string Said() = 0;
  // What it says once it has the receiver.
  virtual std::string Found() { return "MORWICK"; }
  // The words it uses for a receiver lost and one come back.
  virtual std::string Lost(const std::string& device) = 0;
  virtual std::string Back() = 0;
  // What makes it take a receiver that sends nothing for lost.
  virtual std::vector<std::string> SilenceOption() = 0;
};

struct PanelFrontEnd : FrontEnd {
  Panel panel;
  void Start(const std::string& device, const std::string& folder,
             const std::vector<std::string>&) override {
    panel.messageBox = [](void*, const char*, const char*) {};  // no modal box in a test
    SetDumpDirectory(*panel.connection.capture, folder);
    ASSERT_TRUE(StartUp(panel, ("-D " + device).c_str()));
    DispatchCommand(panel, kLoggingOnCommand);
  }
  // The Messages window's lines, and the message field, whose clock-driven texts (a loss,
  // a wait with its next try) are not kept there.
  std::string Said() override {
    std::string said;
    for (int i = 0; i < panel.messages.count; ++i)
      said += std::string(MessageAt(panel.messages, i).text) + "\n";
    return said + panel.statusBar->Message().toStdString() + "\n";
  }
  std::string Lost(const std::string& device) override {
    return "; reconnecting to " + device + "...";
  }
  std::string Back() override { return "Receiver back at "; }
  std::vector<std::string> SilenceOption() override { return {}; }  // its polls go unanswered
};

struct LoggerFrontEnd : FrontEnd {
  LogRun run;
  void Start(const std::string& device, const std::string& folder,
             const std::vector<std::string>& extra) override {
    std::vector<std::string> args = {"-D", device, "-o", folder, "--wait"};
    args.insert(args.end(), extra.begin(), extra.end());
    run.Start(args);
  }
  std::string Said() override { return run.Output(); }
  std::string Lost(const std::string& device) override {
    return "the receiver on " + device;  // lost, or nothing came from it
  }
  std::string Back() override { return "reconnected to MORWICK"; }
  std::vector<std::string> SilenceOption() override { return {"--silence", "1s"}; }
};

// The panel attached to the receiver through tarnex-log --share, as a second user of a
// base station's receiver is: what the panel logs comes through the logger, and a receiver
// lost and back is lost and back for the panel too.
struct PanelThroughLoggerFrontEnd : FrontEnd {
  LogRun logger;
  PanelFrontEnd panel;
  std::string address;
  void Start(const std::string& device, const std::string& folder,
             const std::vector<std::string>&) override {
    logger.Start({"-D", device, "-o", logger.dir, "--wait", "--share", "0"});
    ASSERT_TRUE(SpinUntil([&] { return ServedPort(logger.Output(), "sharing the receiver") > 0; }));
    address =
        "tcp://127.0.0.1:" + std::to_string(ServedPort(logger.Output(), "sharing the receiver"));
    panel.Start(address, folder, {});
  }
  std::string Said() override { return logger.Output() + panel.Said(); }
  std::string Found() override { return "PRODUCT,MORWICK"; }  // the panel's, not the logger's
  std::string Lost(const std::string&) override { return panel.Lost(address); }
  std::string Back() override { return panel.Back(); }
  std::vector<std::string> SilenceOption() override { return {}; }
};

using FrontEndMaker = std::unique_ptr<FrontEnd> (*)();

struct FrontEnds : ::testing::TestWithParam<FrontEndMaker> {
  ScratchDir scratch;
  std::string folder = scratch / "logs";
  std::string device = scratch / "receiver";  // a link, as a /dev/serial/by-id/ name is
  FakeReceiver receivers[2];
  std::unique_ptr<FrontEnd> frontEnd = GetParam()();

  void SetUp() override { std::filesystem::create_directory(folder); }
  void TearDown() override { frontEnd.reset(); }  // before the receivers go
  void Plug(FakeReceiver& receiver, int dataRate = 0) {
    ASSERT_TRUE(StartFakeReceiver(receiver, Sending(dataRate)));
    std::filesystem::remove(device);
    std::filesystem::create_symlink(FakeReceiverPath(receiver), device);
  }
  // The adapter's node goes with it: the pseudo-terminal's number may meanwhile belong to
  // another test's receiver.
  void Unplug(FakeReceiver& receiver) {
    HangUpFakeReceiver(receiver);
    std::filesystem::remove(device);
  }
  bool WaitSaid(const std::string& text, int limitMs = 8000) {
    return SpinUntil([&] { return Times(text) > 0; }, limitMs);
  }
  size_t Times(const std::string& text) { return Occurrences(frontEnd->Said(), text); }
  // Everything sent so far has been logged when the last item is at the file's end.
  bool WaitLogged(const char* name, const Bytes& last) {
    return SpinUntil([&] { return EndsWith(FileBytes(folder + "/" + name), last); });
  }
};

// Started before the receiver is there (not yet powered or plugged in): the wait and its
// cause are said once, however many tries fail, and the receiver is taken when it comes.
TEST_P(FrontEnds, WaitForAReceiverThatIsNotThereYet) {
  frontEnd->Start(device, folder, {});
  std::string waiting =
      "Could not establish communication with receiver. No such file or directory: " + device;
  ASSERT_TRUE(WaitSaid(waiting)) << frontEnd->Said();
  Spin(3500);  // two more tries
  EXPECT_EQ(Times(waiting), 1u) << frontEnd->Said();
  Plug(receivers[0]);
  ASSERT_TRUE(WaitSaid(frontEnd->Found())) << frontEnd->Said();
  EXPECT_EQ(SentCount(receivers[0], 0x6F), 1) << "identified once";
}

// The adapter pulled while logging and plugged in again: the loss and the return are
// said, and the files hold everything sent before the loss and after the return.
TEST_P(FrontEnds, UnplugAndReturnWhileLogging) {
  Plug(receivers[0]);
  frontEnd->Start(device, folder, {});
  ASSERT_TRUE(WaitSaid(frontEnd->Found())) << frontEnd->Said();
  Send(receivers[0], Cat({Posn(1), Gga(1), Posn(2), Gga(2)}));
  ASSERT_TRUE(WaitLogged("nmea.dmp", Gga(2)));
  Unplug(receivers[0]);
  ASSERT_TRUE(WaitSaid(frontEnd->Lost(device), 3000)) << frontEnd->Said();
  Plug(receivers[1]);
  ASSERT_TRUE(WaitSaid(frontEnd->Back())) << frontEnd->Said();
  Send(receivers[1], Cat({Posn(3), Gga(3)}));
  ASSERT_TRUE(WaitLogged("nmea.dmp", Gga(3)));
  EXPECT_EQ(FileBytes(folder + "/posn.dmp"), Cat({Posn(1), Posn(2), Posn(3)}));
  EXPECT_EQ(FileBytes(folder + "/nmea.dmp"), Cat({Gga(1), Gga(2), Gga(3)}));
}

// A receiver that still holds the line but sends nothing more (a hung receiver, a device
// server whose far side went) is lost, and found again once it answers.
TEST_P(FrontEnds, ASilentReceiverIsLostAndFoundAgain) {
  Plug(receivers[0]);
  frontEnd->Start(device, folder, frontEnd->SilenceOption());
  ASSERT_TRUE(WaitSaid(frontEnd->Found())) << frontEnd->Said();
  Send(receivers[0], Gga(1));  // it had been sending
  SetAnswerScreens(receivers[0], false);
  ASSERT_TRUE(WaitSaid(frontEnd->Lost(device))) << frontEnd->Said();
  SetAnswerScreens(receivers[0], true);
  EXPECT_TRUE(WaitSaid(frontEnd->Back())) << frontEnd->Said();
}

std::string FrontEndName(const ::testing::TestParamInfo<FrontEndMaker>& info) {
  const char* const names[] = {"Panel", "Logger", "PanelThroughLogger"};
  return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(
    , FrontEnds,
    ::testing::Values(
        []() -> std::unique_ptr<FrontEnd> { return std::make_unique<PanelFrontEnd>(); },
        []() -> std::unique_ptr<FrontEnd> { return std::make_unique<LoggerFrontEnd>(); },
        []() -> std::unique_ptr<FrontEnd> {
          return std::make_unique<PanelThroughLoggerFrontEnd>();
        }),
    FrontEndName);

}  // namespace
