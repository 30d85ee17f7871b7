// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "link/identification.h"
#include "link/link.h"
#include "sim/fake_receiver.h"
#include "tests/receiver_script.h"
#include "tests/scratch_dir.h"
#include "tests/sim_program.h"
#include "tests/status_capture.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A receiver that stays at 9600 baud, and one that moves the line to 38400 even parity.
const char* kAt9600 = "PRODUCT,MORWICK;PORT,0,0,9600,8,1,N,X;VERSION,2.0";
const char* kExample = "PRODUCT,VELTARIS;PORT,1,0,38462,8,1,E,X;VERSION,1.50";

struct IdentifyTest : ::testing::Test {
  FakeReceiver receiver;
  Link link;
  StatusCapture status;

  int Identify(const std::string& text, EnqReply reply = EnqReply::kAck, int unaskedMs = -1) {
    StopFakeReceiver(receiver);
    ReceiverScript script = Script(text.c_str(), reply);
    script.unaskedReplyMs = unaskedMs;
    if (!StartFakeReceiver(receiver, script)) return -1;
    return IdentifyReceiver(link, FakeReceiverPath(receiver));
  }
  std::string LastText() {
    auto texts = status.Texts();
    return texts.empty() ? "" : texts.back();
  }
};

// How the receiver meets the probe decides the path: an ACK gets the request and no
// break; a reply during the probe is taken as it is; silence or a stray byte take the
// break path, as does a frame that fails its checksum, and the receiver's own reply
// after it is accepted.
TEST_F(IdentifyTest, ThePathFollowsTheAnswerToTheProbe) {
  const struct {
    const char* text;
    EnqReply reply;
    int unaskedMs;
    int requests;
    bool quick;  // no break (300 ms) and no wait for a second reply
    uint32_t port, baud;
  } cases[] = {
      {kAt9600, EnqReply::kAck, -1, 1, true, 1, 9600},
      {kExample, EnqReply::kIdentify, -1, 0, true, 2, 38400},
      {kExample, EnqReply::kSilent, 500, 0, false, 2, 38400},
      {kAt9600, EnqReply::kStrayThenAck, 500, 0, false, 1, 9600},
      {kAt9600, EnqReply::kBrokenFrame, 500, 0, false, 1, 9600},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.reply));
    int enqs = EnqCount(receiver), requests = SentCount(receiver, kIdentificationRequest);
    auto start = Clock::now();
    ASSERT_EQ(Identify(c.text, c.reply, c.unaskedMs), 1);
    auto took = Clock::now() - start;
    EXPECT_EQ(took < milliseconds(300), c.quick) << "a break takes 300 ms";
    EXPECT_EQ(EnqCount(receiver) - enqs, 1);
    EXPECT_EQ(SentCount(receiver, kIdentificationRequest) - requests, c.requests);
    EXPECT_STREQ(link.identification, c.text);
    EXPECT_EQ(link.receiverPortNumber, c.port);
    EXPECT_EQ(FakeReceiverLineBaud(receiver), c.baud);
  }
  EXPECT_TRUE(status.Saw("Checking for GPS receiver..."));
  EXPECT_TRUE(status.Saw(kAt9600));
  // Port 2 at 38462 baud, even parity: the line is switched to 38400 E.
  ASSERT_EQ(Identify(kExample, EnqReply::kSilent, 500), 1);
  EXPECT_EQ(link.port.lineParity, kParityEven);
  EXPECT_FALSE(link.qz77Class);
  EXPECT_TRUE(link.twoLineCapable);
}

TEST_F(IdentifyTest, OtherPacketsDuringTheWaitAreDropped) {
  std::thread early([&] {
    std::this_thread::sleep_for(milliseconds(450));
    const uint8_t screen[3] = {1, 2, 3};
    SendFrameFromReceiver(receiver, 0x40, screen, 3);
  });
  ReceiverScript script = Script(kAt9600, EnqReply::kSilent);
  script.unaskedReplyMs = 600;
  ASSERT_TRUE(StartFakeReceiver(receiver, script));
  EXPECT_EQ(IdentifyReceiver(link, FakeReceiverPath(receiver)), 1);
  early.join();
}

// What one connection leaves behind is never read as the next one's reply: a frame cut
// off half way, and a link state out of step that would make the probe's ACK look stray.
TEST_F(IdentifyTest, LeftoversOfTheLastConnectionDoNotSpoilTheNext) {
  const uint8_t halfScreen[] = {kStx, 0, 0x82, 161, 'a', 'b', 'c'};
  PushReceived(link.rx, halfScreen, sizeof halfScreen);
  link.linkState = kOutOfStep;
  auto start = Clock::now();
  ASSERT_EQ(Identify(kAt9600), 1);
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  EXPECT_EQ(SentCount(receiver, kIdentificationRequest), 1) << "the ACK was taken as one";
}

// A stop request ends an identification in any of its waits, and it shows no failure.
TEST_F(IdentifyTest, AStopEndsItAtOnceAndQuietly) {
  StopSignal stop;
  ASSERT_TRUE(OpenStopSignal(stop));
  link.port.stop = &stop;
  for (int afterMs : {50, 250, 1000}) {  // in the probe, in the break, in the reply wait
    StopFakeReceiver(receiver);
    ASSERT_TRUE(StartFakeReceiver(receiver, Script(kAt9600, EnqReply::kSilent)));
    stop.raised = false;
    ClearWakeSignal(stop.wake);
    std::thread stopper([&] {
      std::this_thread::sleep_for(milliseconds(afterMs));
      RaiseStopSignal(stop);
    });
    auto start = Clock::now();
    EXPECT_EQ(IdentifyReceiver(link, FakeReceiverPath(receiver)), 0);
    EXPECT_LT(Clock::now() - start, milliseconds(afterMs + 200)) << afterMs;
    stopper.join();
  }
  EXPECT_TRUE(status.Failures().empty());
  link.port.stop = nullptr;
  CloseStopSignal(stop);
}

TEST_F(IdentifyTest, NoReplyWithinThreeSeconds) {
  auto start = Clock::now();
  EXPECT_EQ(Identify(kAt9600, EnqReply::kSilent), 0);
  EXPECT_GE(Clock::now() - start, milliseconds(3400));
  EXPECT_EQ(LastText(), "Could not identify receiver.");
}

TEST_F(IdentifyTest, EachFaultyTextFailsWithItsOwnMessage) {
  struct Case {
    const char* text;
    const char* last;  // the last text shown; the identification itself if null
  } cases[] = {
      {"HELLO,MORWICK;PORT,0,0,9600,8,1,N,X", nullptr},
      {"PRODUCT,", nullptr},
      {"PRODUCT,MORWICK;VERSION,2.0", "Could not synchronize baud/parity settings."},
      {"PRODUCT,MORWICK;PORT,1,0", nullptr},
      {"PRODUCT,MORWICK;PORT,1,0,9600,8", nullptr},
      {"PRODUCT,MORWICK;PORT,1,0,0,8,1,N,X", "Could not set comm settings."},
      {"PRODUCT,MORWICK;PORT,1,0,19200,8,1,O,X;VERSION,abc", nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Identify(c.text), 0) << c.text;
    EXPECT_EQ(LastText(), c.last != nullptr ? c.last : c.text);
  }
  // A failed version scan leaves the line settings applied.
  EXPECT_EQ(FakeReceiverLineBaud(receiver), 19200u);
}

TEST_F(IdentifyTest, ProductAndVersionDecideTheClassAndTwoLineCapability) {
  struct Case {
    const char* text;
    bool qz77;
    bool twoLine;
  } cases[] = {
      {"PRODUCT,VELTARIS;PORT,0,0,9600,8,1,N,X;VERSION,1.4", false, true},
      {"PRODUCT,VELTARIS;PORT,0,0,9600,8,1,N,X;VERSION,1.39", false, false},
      {"PRODUCT,veltaris;PORT,0,0,9600,8,1,N,X;VERSION,2.0", false, false},
      {"PRODUCT,QZ77-R;PORT,0,0,9600,8,1,N,X;VERSION,3.0", true, false},
      {"PRODUCT,VELTARIS;PORT,0,0,9600,8,1,N,X;VERSION,1.5", false, true},
      // Decided afresh: an ordinary receiver after a QZ77, no version after a two-line one.
      {"PRODUCT,MORWICK-MONITOR;PORT,0,0,9600,8,1,N,X", false, false},
      {"PRODUCT,  VELTARIS,X;PORT,4,0,9600,8,1,N,X;VERSION,1.4", false, true},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Identify(c.text), 1) << c.text;
    EXPECT_EQ(link.qz77Class, c.qz77) << c.text;
    EXPECT_EQ(link.twoLineCapable, c.twoLine) << c.text;
  }
  EXPECT_EQ(link.receiverPortNumber, 5u);
}

TEST(Identification, BaudWindowsAndParityLetters) {
  struct Case {
    uint32_t reported, applied;
  } bauds[] = {{9600, 9600},     {9599, 9600},     {9500, 9500},     {9700, 9700},
               {19300, 19200},   {38462, 38400},   {38800, 38800},   {57001, 57600},
               {115000, 115200}, {118000, 118000}, {113000, 113000}, {4800, 4800}};
  for (const Case& c : bauds) EXPECT_EQ(NormaliseBaud(c.reported), c.applied) << c.reported;
  EXPECT_EQ(ParityFromLetter('E'), kParityEven);
  EXPECT_EQ(ParityFromLetter('O'), kParityOdd);
  EXPECT_EQ(ParityFromLetter('e'), kParityNone);
  EXPECT_EQ(ParityFromLetter('N'), kParityNone);
}

TEST(Identification, ScansSurviveHostileText) {
  char product[kProductSize];
  std::string huge = "PRODUCT," + std::string(300, 'A');
  ASSERT_TRUE(ScanProduct(huge.c_str(), product));
  EXPECT_EQ(std::string(product).size(), 254u);
  EXPECT_FALSE(ScanProduct("PRODUCT,   ", product));
  PortRecord port;
  EXPECT_TRUE(ScanPortRecord(";PORT,3,x", port) == false);
  ASSERT_TRUE(ScanPortRecord(";PORT,3,0,57600,8,1,E", port));
  EXPECT_EQ(port.portNumber, 3u);
  EXPECT_EQ(port.baud, 57600u);
  EXPECT_EQ(port.parityLetter, 'E');
}

// tarnex-sim, the program, as the demo and the tests run it: it identifies as its options
// say, lives on while a program reopens its port, and ends, its link removed, once the
// port is closed after use.
TEST(TarnexSim, IdentifiesAsAskedAndEndsWhenThePanelCloses) {
  StatusCapture status;
  ScratchDir scratch;
  std::string device = scratch / "receiver";
  pid_t sim = StartSimulator(device, {"--product", "VELTARIS", "--firmware", "1.5", "--port", "2",
                                      "--baud", "19200", "--no-ack"});
  ASSERT_GT(sim, 0);
  auto link = std::make_unique<Link>();
  ASSERT_EQ(IdentifyReceiver(*link, device.c_str()), 1);
  EXPECT_EQ(link->receiverPortNumber, 3u);
  EXPECT_EQ(link->port.lineBaud, 19200u);
  EXPECT_TRUE(link->twoLineCapable);
  ASSERT_EQ(OpenPort(link->port, device.c_str()), 0);
  EXPECT_EQ(WaitForExit(sim, 500), -1) << "reopened, as every connect does: still there";
  ClosePort(link->port);
  EXPECT_EQ(WaitForExit(sim, 5000), 0);
  EXPECT_NE(access(device.c_str(), F_OK), 0) << "the link is removed";
  StopProgram(sim);
}

}  // namespace
