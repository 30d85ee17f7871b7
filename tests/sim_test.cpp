// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "link/link.h"
#include "tests/child_process.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"
#include "tests/wait_until.h"

namespace {

struct SimProcess {
  ScratchDir scratch;
  std::string link = scratch / "receiver";
  pid_t pid;

  explicit SimProcess(std::vector<std::string> args) {
    args.insert(args.begin(), {Program("TARNEX_SIM_PATH", TARNEX_SIM_PATH), "--link", link});
    pid = StartProgram(args);
  }
  bool Linked() {
    return WaitUntil([&] { return access(link.c_str(), F_OK) == 0; });
  }
  // The exit status once it has ended by itself within limitMs, else -1.
  int WaitForExit(int limitMs) {
    int status = 0;
    if (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limitMs)) return -1;
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  }
  ~SimProcess() { StopProgram(pid); }
};

TEST(TarnexSim, IdentifiesAsAskedAndEndsWhenThePanelCloses) {
  struct Case {
    std::vector<std::string> args;
    uint32_t port;
    uint32_t baud;
    bool qz77, twoLine;
  } cases[] = {
      {{}, 1, 38400, false, false},
      {{"--product", "VELTARIS", "--firmware", "1.5", "--port", "2", "--baud", "19200"},
       3,
       19200,
       false,
       true},
      {{"--product", "QZ77", "--no-ack", "--baud", "115000"}, 1, 115200, true, false},
  };
  for (const Case& c : cases) {
    StatusCapture status;
    SimProcess sim(c.args);
    ASSERT_TRUE(sim.Linked());
    auto link = std::make_unique<Link>();
    ASSERT_EQ(IdentifyReceiver(*link, sim.link.c_str()), 1) << c.args.size();
    EXPECT_EQ(link->receiverPortNumber, c.port);
    EXPECT_EQ(link->port.lineBaud, c.baud);
    EXPECT_EQ(link->qz77Class, c.qz77);
    EXPECT_EQ(link->twoLineCapable, c.twoLine);
    // Reopening, as every connect does, is no reason to go.
    ASSERT_EQ(OpenPort(link->port, sim.link.c_str()), 0);
    EXPECT_EQ(sim.WaitForExit(500), -1);
    ClosePort(link->port);
    EXPECT_EQ(sim.WaitForExit(5000), 0);
    EXPECT_NE(access(sim.link.c_str(), F_OK), 0) << "the link is removed";
  }
}

TEST(TarnexSim, RefusesUnknownOptions) {
  SimProcess sim({"--frobnicate", "1"});
  EXPECT_EQ(sim.WaitForExit(2000), 2);
}

}  // namespace
