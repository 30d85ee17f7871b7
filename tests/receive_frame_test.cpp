// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "link/link.h"
#include "sim/pty_pair.h"
#include "tests/status_capture.h"
#include "tests/test_bytes.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct ReceiveFrameTest : ::testing::Test {
  PtyPair pty;
  Link link;
  Packet packet;
  StatusCapture status;

  void SetUp() override {
    ASSERT_TRUE(OpenPtyPair(pty));
    ASSERT_EQ(OpenPort(link.port, pty.slavePath), 0);
  }
  void TearDown() override {
    ClosePort(link.port);
    ClosePtyPair(pty);
  }
  void Send(const Bytes& bytes) {
    ASSERT_EQ(write(pty.master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
};

TEST_F(ReceiveFrameTest, GoodFrameAfterStrayBytes) {
  Bytes frame = Frame(0x6E, {'h', 'i', kStx, kAck}, 0x33);
  Bytes stream = {0x41, 0x42};
  stream.insert(stream.end(), frame.begin(), frame.end());
  Send(stream);
  ASSERT_EQ(ReceiveFrame(link, packet, 0.1), 0);
  EXPECT_EQ(packet.type, 0x6E);
  EXPECT_EQ(packet.status, 0) << "the status byte is summed, not stored";
  ASSERT_EQ(packet.length, 4);
  EXPECT_EQ(Bytes(packet.data, packet.data + 4), (Bytes{'h', 'i', kStx, kAck}));
  EXPECT_EQ(link.linkState, kInStep);
}

TEST_F(ReceiveFrameTest, AckCountsUnlessOutOfStep) {
  Send({kAck});
  EXPECT_EQ(ReceiveFrame(link, packet, 0.1), -2);
  // A stray byte first puts the link out of step: the ACK is then a stray byte too.
  Send({0x55, kAck});
  EXPECT_EQ(ReceiveFrame(link, packet, 0.1), -1);
  EXPECT_EQ(link.linkState, kOutOfStep);
}

TEST_F(ReceiveFrameTest, FrameFaultsEndInMinusOne) {
  Bytes badSum = Frame(0x40, {1, 2});
  badSum[6] ^= 1;
  Bytes badEnd = Frame(0x40, {1, 2});
  badEnd.back() = 0x00;
  for (const Bytes& bad : {badSum, badEnd, Frame(0x57, Bytes(249, 7))}) {
    link.linkState = kInStep;
    Send(bad);
    EXPECT_EQ(ReceiveFrame(link, packet, 0.1), -1);
    EXPECT_EQ(link.linkState, kOutOfStep);
    FlushInput(link.port);
  }
  Send(Frame(0x57, Bytes(248, 7)));
  EXPECT_EQ(ReceiveFrame(link, packet, 0.1), 0);
  EXPECT_EQ(packet.length, 248);
}

TEST_F(ReceiveFrameTest, TimeOutLimitsEachGapNotTheWholeFrame) {
  auto start = Clock::now();
  EXPECT_EQ(ReceiveFrame(link, packet, 0.1), -1);
  auto waited = Clock::now() - start;
  EXPECT_GE(waited, milliseconds(100));
  EXPECT_LT(waited, milliseconds(1000));

  // Stray bytes every 40 ms for 400 ms keep it reading; the frame after them counts.
  std::thread sender([&] {
    for (int i = 0; i < 10; ++i) {
      Send({0x20});
      std::this_thread::sleep_for(milliseconds(40));
    }
    Send(Frame(0x6E, {'x'}));
  });
  start = Clock::now();
  EXPECT_EQ(ReceiveFrame(link, packet, 0.1), 0);
  EXPECT_GE(Clock::now() - start, milliseconds(350));
  sender.join();
}

}  // namespace
