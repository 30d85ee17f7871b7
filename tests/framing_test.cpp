// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "base/tick.h"
#include "link/packet.h"
#include "link/rx_ring.h"
#include "tests/test_bytes.h"

namespace {

struct Receiving {
  RxRing ring;
  int linkState = kNothingReceived;
  Packet packet;
  int Push(const Bytes& bytes) {
    return PushReceived(ring, bytes.data(), static_cast<int>(bytes.size()));
  }
  int Pull() { return PullPacket(ring, linkState, packet); }
  Bytes Raw() const { return Bytes(packet.raw, packet.raw + packet.length + kFrameOverhead); }
};

TEST(BuildFrame, IdentificationRequestIsTheSixBytesOnTheWire) {
  EXPECT_EQ(Frame(0x6F, {}), (Bytes{0x02, 0x00, 0x6F, 0x00, 0x6F, 0x03}));
  EXPECT_EQ(Frame(0x81, {0x50}), (Bytes{0x02, 0x00, 0x81, 0x01, 0x50, 0xD2, 0x03}));
  EXPECT_EQ(Frame(0x82, {0x00, 0x00, 0x78, 0x30, 0x38}),
            (Bytes{0x02, 0x00, 0x82, 0x05, 0x00, 0x00, 0x78, 0x30, 0x38, 0x67, 0x03}));
  uint8_t out[kMaxFrameLength];
  uint8_t data[250] = {};
  EXPECT_EQ(BuildFrame(0x40, data, 250, out), 0);
  EXPECT_EQ(BuildFrame(0x40, data, 249, out), 255);
}

TEST(CheckFrame, ReportsEachFault) {
  Bytes good = Frame(0x40, {1, 2, 3}, 7);
  Bytes badSum = good;
  badSum.at(badSum.size() - 2) ^= 1;
  Bytes badEnd = good;
  badEnd.at(badEnd.size() - 1) = 0x04;
  Bytes badStart = good;
  badStart.at(0) = 0x01;
  Bytes tooLong(260, 0);
  tooLong[0] = kStx;
  tooLong[3] = 250;
  struct Case {
    const Bytes& frame;
    int expected;
  } cases[] = {{good, kFrameValid},
               {badSum, kFrameChecksumMismatch},
               {badEnd, kFrameBadStartOrEnd},
               {badStart, kFrameBadStartOrEnd},
               {tooLong, kFrameLengthTooLarge}};
  for (const Case& c : cases) EXPECT_EQ(CheckFrame(c.frame.data()), c.expected);
}

TEST(PullPacket, EmptyRingAndStrayBytes) {
  Receiving rx;
  EXPECT_EQ(rx.Pull(), -1);
  EXPECT_EQ(rx.linkState, kNothingReceived);
  rx.Push({0x11, 0x22, 0x33});
  EXPECT_EQ(rx.Pull(), -1);
  EXPECT_EQ(rx.linkState, kOutOfStep);
  EXPECT_TRUE(RingEmpty(rx.ring));
}

TEST(PullPacket, DeliversMinimalAndLongestFrames) {
  Receiving rx;
  Bytes longest = Frame(0x57, Bytes(249, 0xA5), 9);
  rx.Push(Cat({Frame(0x40, {}, 3), longest}));
  ASSERT_EQ(rx.Pull(), 0);
  EXPECT_EQ(rx.packet.type, 0x40);
  EXPECT_EQ(rx.packet.length, 0);
  EXPECT_EQ(rx.packet.status, 3);
  EXPECT_EQ(rx.Raw(), Frame(0x40, {}, 3));
  EXPECT_EQ(rx.linkState, kInStep);
  ASSERT_EQ(rx.Pull(), 0);
  EXPECT_EQ(rx.packet.length, 249);
  EXPECT_EQ(rx.Raw(), longest);
  EXPECT_EQ(rx.Pull(), -1);
}

TEST(PullPacket, WaitsForTheRestOfAFrame) {
  Bytes frame = Frame(0x93, {1, 2, 3, 4, 5, 6, 7, 8});
  for (size_t cut : {size_t{1}, size_t{5}, frame.size() - 1}) {
    Receiving rx;
    rx.Push(Bytes(frame.begin(), frame.begin() + static_cast<long>(cut)));
    EXPECT_EQ(rx.Pull(), -1) << cut;
    EXPECT_EQ(RingFill(rx.ring), cut) << "the STX must stay";
    rx.Push(Bytes(frame.begin() + static_cast<long>(cut), frame.end()));
    ASSERT_EQ(rx.Pull(), 0) << cut;
    EXPECT_EQ(rx.Raw(), frame);
  }
}

TEST(PullPacket, LengthOf250OrMoreSkipsOnlyTheStx) {
  for (int length = 250; length <= 255; ++length) {
    Receiving rx;
    rx.linkState = kInStep;
    Bytes frame = Frame(0x40, {9});
    rx.Push(Cat({{kStx, 0, 0x40, static_cast<uint8_t>(length), 0, 0}, frame}));
    ASSERT_EQ(rx.Pull(), 0) << length;
    EXPECT_EQ(rx.Raw(), frame);
  }
  // The skip leaves the state alone: the ACK right behind the STX still counts.
  Receiving rx;
  rx.linkState = kInStep;
  rx.Push({kStx, kAck, 0, 250, 0, 0});
  EXPECT_EQ(rx.Pull(), -2);
}

TEST(PullPacket, BadFrameIsSkippedByOneByteAndAFrameInsideItIsFound) {
  Bytes inner = Frame(0x40, {0x11});
  // A frame whose data holds a complete valid frame, with a wrong checksum.
  Bytes outer = Frame(0x57, inner);
  outer[4 + inner.size()] ^= 0xFF;
  Receiving rx;
  rx.Push(outer);
  ASSERT_EQ(rx.Pull(), 0);
  EXPECT_EQ(rx.Raw(), inner);
  EXPECT_EQ(rx.packet.type, 0x40);

  Bytes badEnd = Frame(0x57, inner);
  badEnd.back() = 0x00;
  Receiving rx2;
  rx2.Push(badEnd);
  ASSERT_EQ(rx2.Pull(), 0);
  EXPECT_EQ(rx2.Raw(), inner);
}

TEST(PullPacket, AckCountsOnlyWhileNotOutOfStep) {
  struct Case {
    int state;
    int expected;
  } cases[] = {{kNothingReceived, -2}, {kInStep, -2}, {kOutOfStep, -1}};
  for (const Case& c : cases) {
    Receiving rx;
    rx.linkState = c.state;
    rx.packet.type = 0x77;
    rx.Push({kAck});
    EXPECT_EQ(rx.Pull(), c.expected) << c.state;
    EXPECT_EQ(rx.packet.type, 0x77) << "the record is untouched";
    EXPECT_TRUE(RingEmpty(rx.ring));
  }
  Receiving rx;
  rx.Push(Cat({{kAck}, Frame(0x40, {})}));
  EXPECT_EQ(rx.Pull(), -2);
  EXPECT_EQ(rx.Pull(), 0);
  EXPECT_EQ(rx.packet.type, 0x40);
}

TEST(PullPacket, FrameAcrossTheRingsEndIsDeliveredWhole) {
  auto rx = std::make_unique<Receiving>();
  rx->ring.read = rx->ring.write = 8192 - 4;
  Bytes frame = Frame(0x94, {1, 2, 3, 4, 5, 6, 7});
  rx->Push(frame);
  ASSERT_EQ(rx->Pull(), 0);
  EXPECT_EQ(rx->Raw(), frame);
  EXPECT_EQ(rx->ring.read, frame.size() - 4);
}

TEST(PushReceived, FullRingStoresWhatFits) {
  auto rx = std::make_unique<Receiving>();
  EXPECT_EQ(rx->Push(Bytes(8191, 0x20)), 8191);
  EXPECT_EQ(rx->Push(Bytes(5, 0x20)), 0);
  RingConsume(rx->ring, 3);
  EXPECT_EQ(rx->Push(Bytes(10, 0x20)), 3);
  EXPECT_EQ(rx->Push({}), 0);
}

// A deadline passes one tick after its value, however far the clock has run and however
// far ahead it lies: a 32-bit count would wrap at 2^32 ms (49.7 days) and its differences
// at 2^31 (24.8 days).
TEST(Deadline, PassesOneTickAfterItsValueForYears) {
  const int64_t kDay = 86400000;
  const struct {
    Tick now;
    double seconds;
  } cases[] = {{1000, 0.1},
               {1000, 3.0},
               {(Tick(1) << 31) - 500, 1.0},
               {(Tick(1) << 32) - 500, 1.0},
               {5 * kDay, 25 * 86400.0},  // --for 25d
               {(Tick(1) << 32) - 500, 100 * 86400.0},
               {400 * kDay, 800 * 86400.0}};
  for (const auto& c : cases) {
    Deadline deadline;
    Tick at = SetDeadlineFrom(deadline, c.now, c.seconds);
    EXPECT_EQ(at, c.now + static_cast<Tick>(c.seconds * 1000)) << c.now;
    EXPECT_FALSE(DeadlinePassedAt(deadline, c.now)) << c.now;
    EXPECT_FALSE(DeadlinePassedAt(deadline, at)) << c.now;
    EXPECT_TRUE(DeadlinePassedAt(deadline, at + 1)) << c.now;
    int left = MsUntil(at, c.now);
    EXPECT_EQ(left, at - c.now > INT32_MAX ? INT32_MAX : at - c.now) << "a wait, taken again";
    EXPECT_EQ(MsUntil(at, at + 1), 0);
  }
}

}  // namespace
