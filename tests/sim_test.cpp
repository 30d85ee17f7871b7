// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "link/link.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"
#include "tests/wait_until.h"

namespace {

struct SimProcess {
  pid_t pid = -1;
  ScratchDir scratch;
  std::string link = scratch / "receiver";

  bool Start(const std::vector<std::string>& args, bool waitForLink = true) {
    const char* sim = std::getenv("TARNEX_SIM_PATH");  // a copy elsewhere, for another user
    std::vector<std::string> all = {sim != nullptr ? sim : TARNEX_SIM_PATH, "--link", link};
    all.insert(all.end(), args.begin(), args.end());
    pid = fork();
    if (pid == 0) {
      std::vector<char*> argv;
      for (std::string& a : all) argv.push_back(a.data());
      argv.push_back(nullptr);
      if (freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
    return !waitForLink || WaitUntil([&] { return access(link.c_str(), F_OK) == 0; });
  }
  // The exit status once it has ended by itself within limitMs, else -1.
  int WaitForExit(int limitMs) {
    int status = 0;
    if (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limitMs)) return -1;
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  }
  ~SimProcess() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
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
    SimProcess sim;
    ASSERT_TRUE(sim.Start(c.args));
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
  SimProcess sim;
  ASSERT_TRUE(sim.Start({"--frobnicate", "1"}, false));
  EXPECT_EQ(sim.WaitForExit(2000), 2);
}

}  // namespace
