// SPDX-License-Identifier: BSD-2-Clause
// The serial port and the connection on Windows, against the simulated receiver on a
// pseudo-terminal that Wine shows as a COM port. The port's name is the first argument.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "base/tick.h"
#include "connection/connection.h"
#include "tests/owner_queue.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"
#include "tests/whole_items.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string portName = "com7";

// A port left with XON/XOFF and CR-to-NL on (tarnex-sim --cooked-line): the whole line is
// set raw, so the identification's CR LF, XON and XOFF arrive inside their frame unchanged,
// and the line is switched to the receiver's port 1 at 38400 baud.
TEST(WineComPort, EveryByteGetsThroughALineLeftCooked) {
  StatusCapture status;
  auto link = std::make_unique<Link>();
  ASSERT_EQ(IdentifyReceiver(*link, portName.c_str()), 1) << status.Texts().size();
  EXPECT_TRUE(status.Saw("Checking for GPS receiver..."));
  EXPECT_EQ(std::string(link->identification),
            "PRODUCT,MORWICK;PORT,0,0,38400,8,1,N,X;VERSION,2.10\r\n\x11\x13");
  EXPECT_EQ(link->receiverPortNumber, 1u);
  EXPECT_EQ(link->port.lineBaud, 38400u);
}

TEST(WineComPort, NamesTheSystemsReasonWhenAPortCannotBeOpened) {
  StatusCapture status;
  Port port;
  EXPECT_EQ(OpenPort(port, "com250"), -1);
  ASSERT_FALSE(status.Failures().empty());
  std::string text = status.Failures().back();
  EXPECT_NE(text.find(": \\\\.\\COM250"), std::string::npos) << text;
}

// Connected and logging: screens come back for polls and the data stream is logged;
// between items the worker waits instead of spinning.
TEST(WineComPort, ConnectsPollsAndLogs) {
  StatusCapture status;
  OwnerQueue owner;
  auto connection = std::make_unique<Connection>();
  owner.Attach(*connection);
  ScratchDir scratch;
  auto directory = scratch.path;
  SetDumpDirectory(*connection->capture, directory.string());
  SetLogging(connection->capture->logging, 1);
  BeginConnect(*connection, portName.c_str(), TickCount());
  ConnectReport report;
  ASSERT_TRUE(owner.NextReport(report, 5000));
  ASSERT_EQ(FinishConnect(*connection, report, TickCount()), kOutcomeConnected);
  for (int i = 0; i < 3; ++i) {
    owner.TakeScreen(0);
    PollReceiver(*connection, TickCount(), 0);
    EXPECT_TRUE(owner.TakeScreen(2000)) << i;
    NoteScreen(*connection, connection->attempt.number);
  }
  std::this_thread::sleep_for(milliseconds(2500));  // two of the simulator's data bursts
  unsigned long passes = connection->worker.passes;
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_LT(connection->worker.passes - passes, 15u) << "it waits between bursts";
  EndConnection(*connection);

  std::string nmea = FileText((directory / "nmea.dmp").string());
  EXPECT_EQ(WholeItemsProblem(nmea, true), "");
  EXPECT_GE(std::count(nmea.begin(), nmea.end(), '\n'), 6) << "sentences";
  EXPECT_GT(FileText((directory / "posn.dmp").string()).size(), 0u);
}

// The simulator's device vanishes 3 s after first contact and comes back 2 s later: the
// connection notices (a read failure, or screens that stop answering polls) and
// reconnects by its schedule, as the panel drives it.
TEST(WineComPort, ALostReceiverIsFoundAgain) {
  StatusCapture status;
  OwnerQueue owner;
  auto connection = std::make_unique<Connection>();
  owner.Attach(*connection);
  BeginConnect(*connection, portName.c_str(), TickCount());
  auto until = Clock::now() + milliseconds(20000);
  int connects = 0;
  bool lost = false;
  auto nextPoll = Clock::now();
  while (Clock::now() < until && !(lost && connects == 2)) {
    ConnectReport report;
    if (owner.NextReport(report, 0) &&
        FinishConnect(*connection, report, TickCount()) == kOutcomeConnected) {
      ++connects;
    }
    if (owner.TakeLineDown(0) &&
        NoteLineDown(*connection, connection->attempt.number, TickCount(), 0)) {
      lost = true;
    }
    if (IsConnected(*connection) && Clock::now() >= nextPoll) {
      nextPoll = Clock::now() + milliseconds(PollPeriod(*connection));
      if (owner.TakeScreen(0)) NoteScreen(*connection, connection->attempt.number);
      lost = PollReceiver(*connection, TickCount(), 0) == 1 || lost;
    }
    if (MsUntilReconnect(*connection, TickCount()) == 0) {
      BeginConnect(*connection, portName.c_str(), TickCount());
    }
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_TRUE(lost);
  EXPECT_EQ(connects, 2) << "connected, lost, connected again";
  EndConnection(*connection);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) portName = argv[1];
  return RUN_ALL_TESTS();
}
