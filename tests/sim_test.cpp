// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "link/link.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

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
    if (!waitForLink) return true;
    auto until = Clock::now() + milliseconds(3000);
    while (access(link.c_str(), F_OK) != 0 && Clock::now() < until) {
      std::this_thread::sleep_for(milliseconds(10));
    }
    return access(link.c_str(), F_OK) == 0;
  }
  // The exit status once it has ended by itself within `limit`, else -1.
  int WaitForExit(milliseconds limit) {
    auto until = Clock::now() + limit;
    while (Clock::now() < until) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      }
      std::this_thread::sleep_for(milliseconds(20));
    }
    return -1;
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
    EXPECT_EQ(sim.WaitForExit(milliseconds(500)), -1);
    ClosePort(link->port);
    EXPECT_EQ(sim.WaitForExit(milliseconds(5000)), 0);
    EXPECT_NE(access(sim.link.c_str(), F_OK), 0) << "the link is removed";
  }
}

int ConnectLoopback(int port) {
  auto until = Clock::now() + milliseconds(3000);
  while (Clock::now() < until) {
    int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return handle;
    close(handle);
    std::this_thread::sleep_for(milliseconds(20));
  }
  return -1;
}

std::vector<uint8_t> ReadFor(int handle, milliseconds limit) {
  std::vector<uint8_t> got;
  auto until = Clock::now() + limit;
  while (Clock::now() < until) {
    struct pollfd entry = {handle, POLLIN, 0};
    if (poll(&entry, 1, 20) <= 0) continue;
    uint8_t chunk[512];
    ssize_t n = read(handle, chunk, sizeof chunk);
    if (n <= 0) break;
    got.insert(got.end(), chunk, chunk + n);
  }
  return got;
}

TEST(TarnexSim, ServesTheSameReceiverOverTcp) {
  int port = 20000 + getpid() % 20000;
  SimProcess sim;
  ASSERT_TRUE(sim.Start({"--tcp", std::to_string(port), "--rate", "0"}, false));
  int handle = ConnectLoopback(port);
  ASSERT_GE(handle, 0);
  const uint8_t enq = kEnq;
  ASSERT_EQ(write(handle, &enq, 1), 1);
  EXPECT_EQ(ReadFor(handle, milliseconds(200)), std::vector<uint8_t>{kAck});
  uint8_t request[kMaxFrameLength];
  int size = BuildFrame(0x6F, nullptr, 0, request);
  ASSERT_EQ(write(handle, request, static_cast<size_t>(size)), size);
  std::vector<uint8_t> reply = ReadFor(handle, milliseconds(200));
  ASSERT_GT(reply.size(), 6u);
  EXPECT_EQ(reply[2], 0x6E);
  EXPECT_EQ(CheckFrame(reply.data()), kFrameValid);
  close(handle);
  EXPECT_EQ(sim.WaitForExit(milliseconds(3000)), 0);
}

TEST(TarnexSim, RefusesUnknownOptions) {
  SimProcess sim;
  ASSERT_TRUE(sim.Start({"--frobnicate", "1"}, false));
  EXPECT_EQ(sim.WaitForExit(milliseconds(2000)), 2);
}

}  // namespace
