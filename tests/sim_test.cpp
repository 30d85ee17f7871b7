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
#include <random>
#include <string>
#include <thread>

#include "capture/nmea_ring.h"
#include "link/link.h"
#include "sim/data_stream.h"
#include "sim/receiver_model.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Extracted {
  int packets = 0;
  int sentences = 0;
  int types[256] = {};
};

Extracted Extract(const std::vector<uint8_t>& stream) {
  auto rx = std::make_unique<RxRing>();
  auto nmea = std::make_unique<NmeaRing>();
  int linkState = kNothingReceived;
  Extracted out;
  Packet packet;
  char sentence[kSentenceBufferSize];
  for (size_t at = 0; at < stream.size(); at += 200) {
    int n = static_cast<int>(std::min<size_t>(200, stream.size() - at));
    PushReceived(*rx, stream.data() + at, n);
    PushNmea(*nmea, stream.data() + at, n);
    while (PullPacket(*rx, linkState, packet) != -1) {
      if (CheckFrame(packet.raw) == kFrameValid && packet.length > 0) ++out.types[packet.type];
      out.packets += 1;
    }
    while (PullSentence(*nmea, sentence) == 1) ++out.sentences;
  }
  return out;
}

TEST(DataStream, EveryItemPassesTheLinksOwnChecks) {
  ReceiverModel model;
  std::mt19937 random(3);
  std::vector<uint8_t> stream;
  for (uint32_t second = 0; second < 20; ++second)
    AppendDataBurst(model, second, 0.0, random, stream);
  Extracted clean = Extract(stream);
  EXPECT_EQ(clean.sentences, 20 * 6);
  EXPECT_EQ(clean.packets, 20 * 4);
  for (int type : {0x40, 0x57, 0x93, 0x94}) EXPECT_EQ(clean.types[type], 20) << type;

  stream.clear();
  for (uint32_t second = 0; second < 20; ++second)
    AppendDataBurst(model, second, 0.5, random, stream);
  Extracted noisy = Extract(stream);
  EXPECT_LT(noisy.sentences + noisy.packets, 200 - 40) << "about half the items are damaged";
  EXPECT_GT(noisy.sentences + noisy.packets, 40);
}

TEST(ReceiverModel, FunctionKeysChangePagesAndArrowsMoveTheCursor) {
  ReceiverModel model;
  struct Step {
    uint8_t key;
    ReceiverPage page;
    int cursor;
  } steps[] = {{'K', ReceiverPage::kSatellites, 0},  {28, ReceiverPage::kSatellites, 1},
               {254, ReceiverPage::kSatellites, 41}, {29, ReceiverPage::kSatellites, 40},
               {253, ReceiverPage::kSatellites, 0},  {29, ReceiverPage::kSatellites, 159},
               {'M', ReceiverPage::kControl, 0},     {'4', ReceiverPage::kControl, 1},
               {'R', ReceiverPage::kLogging, 0},     {'U', ReceiverPage::kStatus, 0}};
  for (const Step& step : steps) {
    ApplyKey(model, step.key);
    EXPECT_EQ(model.page, step.page) << int(step.key);
    EXPECT_EQ(model.cursor, step.cursor) << int(step.key);
  }
  uint8_t screen[161];
  ApplyKey(model, 'M');
  ApplyKey(model, '7');
  RenderModelScreen(model, screen);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(screen) + 40, 22), "ELEVATION MASK  [47   ");
  EXPECT_EQ(screen[160], 1);
}

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
    int qz77, twoLine;
  } cases[] = {
      {{}, 1, 38400, 0, 0},
      {{"--product", "VELTARIS", "--firmware", "1.5", "--port", "2", "--baud", "19200"},
       3,
       19200,
       0,
       1},
      {{"--product", "QZ77", "--no-ack", "--baud", "115000"}, 1, 115200, 1, 0},
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
