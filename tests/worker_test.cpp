// SPDX-License-Identifier: BSD-2-Clause
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/receive_worker.h"
#include "link/packet_type.h"
#include "sim/fake_receiver.h"
#include "tests/receiver_script.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"
#include "tests/test_bytes.h"
#include "tests/wait_until.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const Bytes kGga = Text(Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));

struct WorkerTest : ::testing::Test {
  FakeReceiver receiver;
  std::unique_ptr<Link> link = std::make_unique<Link>();
  std::unique_ptr<Capture> capture = std::make_unique<Capture>();
  ReceiveWorker worker;
  StatusCapture status;
  std::atomic<int> screens{0};
  std::atomic<int> refuseAfter{1 << 30};
  ScratchDir scratch;
  std::string directory = scratch.Str();

  static bool OnScreen(void* context) {
    auto* self = static_cast<WorkerTest*>(context);
    return ++self->screens <= self->refuseAfter;
  }

  void SetUp() override {
    SetDumpDirectory(*capture, directory);
    ASSERT_TRUE(StartFakeReceiver(receiver, ReceiverScript{}));
    ASSERT_EQ(OpenPort(link->port, FakeReceiverPath(receiver)), 0);
    ASSERT_TRUE(Start());
  }
  bool Start() {
    WorkerHooks hooks;
    hooks.context = this;
    hooks.screen = OnScreen;
    return StartReceiveWorker(worker, *link, *capture, hooks);
  }
  void TearDown() override { StopReceiveWorker(worker); }
  std::string Dump(const char* name) { return directory + "/" + name; }
  void Send(const Bytes& bytes) { ::Send(receiver, bytes); }
  // Returns once everything sent before has been handled: two marker screens in turn,
  // the second read only after the first one's pass. Markers are told apart by content,
  // since the stream itself may carry screens.
  void Settle() {
    for (int i = 0; i < 2; ++i) {
      uint8_t fill = static_cast<uint8_t>(0xF0 + markers++ % 16);
      Send(Frame(TypeByte(PacketType::kScreen), Bytes(kScreenImageSize, fill)));
      ASSERT_TRUE(WaitUntil([&] {
        ScreenImage image;
        CopySharedScreen(capture->screen, image);
        return image.bytes[0] == fill && image.bytes[kScreenCells] == fill;
      }));
    }
  }
  int markers = 0;
};

// Nothing is written while logging is off; once on, each type lands in its file byte for
// byte (what came while it was off is not in them).
TEST_F(WorkerTest, EachTypeLandsInItsFileByteForByte) {
  Send(Cat({Frame(0x40, {1}), Frame(0x57, {2}), Frame(0x93, {3}), kGga}));
  Settle();
  for (const char* name : {"posn.dmp", "obsd.dmp", "corr.dmp", "nmea.dmp"}) {
    EXPECT_FALSE(std::filesystem::exists(Dump(name))) << name << " while logging is off";
  }
  SetLogging(capture->logging, 1);
  Bytes posn = Frame(0x40, Bytes(58, 0x40), 0x11);
  Bytes obsd = Frame(0x57, Bytes(249, kStx));
  Bytes corr93 = Frame(0x93, {1, 2, 3});
  Bytes corr94 = Frame(0x94, {kEtx, kAck});
  Bytes rmc = Text(Sentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,,", true));
  Send(Cat({posn, Frame(0x6E, Text("PRODUCT,X")), obsd, kGga, corr93, {kAck}, corr94, rmc}));
  Settle();
  EXPECT_EQ(FileBytes(Dump("posn.dmp")), posn);
  EXPECT_EQ(FileBytes(Dump("obsd.dmp")), obsd);
  EXPECT_EQ(FileBytes(Dump("corr.dmp")), Cat({corr93, corr94})) << "the ACK logged nothing twice";
  EXPECT_EQ(FileBytes(Dump("nmea.dmp")), Cat({kGga, rmc}));
}

TEST_F(WorkerTest, ScreenPayloadReplacesOnlyItsOwnLength) {
  auto expectScreen = [&](uint8_t head, int headLength, uint8_t tail) {
    ScreenImage image;
    CopySharedScreen(capture->screen, image);
    for (int i = 0; i < kScreenImageSize; ++i) {
      ASSERT_EQ(image.bytes[i], i < headLength ? head : tail) << i;
    }
  };
  auto sendScreen = [&](int length, uint8_t fill) {
    int seen = screens;
    Send(Frame(TypeByte(PacketType::kScreen), Bytes(static_cast<size_t>(length), fill)));
    ASSERT_TRUE(WaitUntil([&] { return screens > seen; }));
  };
  sendScreen(161, 0xEE);
  sendScreen(100, 0x11);
  expectScreen(0x11, 100, 0xEE);
  sendScreen(200, 0x33);
  expectScreen(0x33, 161, 0x33);
}

TEST_F(WorkerTest, RefusedNotificationEndsTheWorkerAndLeavesTheRest) {
  refuseAfter = 0;
  SetLogging(capture->logging, 1);
  Bytes posn = Frame(0x40, {9, 9});
  Send(Cat({Frame(TypeByte(PacketType::kScreen), Bytes(161, 'a')), posn}));
  ASSERT_TRUE(WaitUntil([&] { return worker.ended.load(); }));
  StopReceiveWorker(worker);
  EXPECT_EQ(screens, 1);
  EXPECT_FALSE(std::filesystem::exists(Dump("posn.dmp")));
  Packet packet;
  ASSERT_EQ(PullPacket(link->rx, link->linkState, packet), 0);
  EXPECT_EQ(Bytes(packet.raw, packet.raw + posn.size()), posn);
}

TEST_F(WorkerTest, StopsPromptlyUnderLoadAndTheNextWorkerContinues) {
  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    Bytes burst = Cat({kGga, Frame(0x57, Bytes(200, 7)), Bytes(50, 0x20)});
    while (flooding) Send(burst);
  });
  std::this_thread::sleep_for(milliseconds(100));
  auto start = Clock::now();
  StopReceiveWorker(worker);
  EXPECT_LT(Clock::now() - start, milliseconds(500));
  flooding = false;
  flood.join();
  // The flood may have been cut inside a frame: clear the line and the ring's tail.
  FlushInput(link->port);
  Send(Bytes(kMaxFrameLength, ' '));

  // Half a frame read by one worker is completed for the next one.
  Bytes posn = Frame(0x40, Bytes(40, 4));
  ASSERT_TRUE(Start());
  SetLogging(capture->logging, 1);
  Settle();
  unsigned long passes = worker.passes;
  Send(Bytes(posn.begin(), posn.begin() + 20));
  ASSERT_TRUE(WaitUntil([&] { return worker.passes > passes; }));
  std::this_thread::sleep_for(milliseconds(50));
  StopReceiveWorker(worker);
  ASSERT_GE(RingFill(link->rx), 20);
  Send(Bytes(posn.begin() + 20, posn.end()));
  ASSERT_TRUE(Start());
  Settle();
  EXPECT_EQ(FileBytes(Dump("posn.dmp")), posn);
}

TEST_F(WorkerTest, HangUpIsReportedOnceWithoutSpinning) {
  Settle();
  unsigned long before = worker.passes;
  HangUpFakeReceiver(receiver);
  std::this_thread::sleep_for(milliseconds(1000));
  EXPECT_EQ(status.Count("read failure."), 1);
  EXPECT_LT(worker.passes - before, 20u) << "retries about every 200 ms";
  auto start = Clock::now();
  StopReceiveWorker(worker);
  EXPECT_LT(Clock::now() - start, milliseconds(500));
}

// A second reader on the same line (one that opened it first, or root, whom the exclusive
// open does not stop) now and then takes the bytes that woke the worker: the worker then
// finds nothing to read, and that is no hang-up.
TEST(WorkerLine, BytesTakenByAnotherReaderAreNoHangUp) {
  FakeReceiver receiver;
  ASSERT_TRUE(StartFakeReceiver(receiver, ReceiverScript{}));
  int thief = open(FakeReceiverPath(receiver), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(thief, 0);
  auto link = std::make_unique<Link>();
  auto capture = std::make_unique<Capture>();
  ASSERT_EQ(OpenPort(link->port, FakeReceiverPath(receiver)), 0);
  std::atomic<int> lineDowns{0};
  WorkerHooks hooks;
  hooks.context = &lineDowns;
  hooks.lineDown = [](void* context) { ++*static_cast<std::atomic<int>*>(context); };
  ReceiveWorker worker;
  ASSERT_TRUE(StartReceiveWorker(worker, *link, *capture, hooks));
  std::atomic<bool> stealing{true};
  std::thread taker([&] {
    uint8_t buffer[256];
    while (stealing) {
      struct pollfd entry = {thief, POLLIN, 0};
      if (poll(&entry, 1, 50) <= 0 || read(thief, buffer, sizeof buffer) <= 0) continue;
      // Now and then, not always: the worker, slower under the sanitizers and at a lower
      // priority, would otherwise lose every race and rightly take the line as gone.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  const Bytes burst = Text("$GPTXT,01,01,02,x*00\r\n");
  for (int i = 0; i < 4000 && lineDowns == 0; ++i) {
    ::Send(receiver, burst);
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  stealing = false;
  taker.join();
  StopReceiveWorker(worker);
  close(thief);
  EXPECT_EQ(lineDowns, 0);
}

}  // namespace
