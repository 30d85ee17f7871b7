// SPDX-License-Identifier: BSD-2-Clause
// The connection module on its own, without a window: the owner's side is a queue that
// the worker's hooks fill, as a front end's event loop would.

#include "connection/connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "base/tick.h"
#include "capture/dump_write.h"
#include "sim/fake_receiver.h"
#include "tests/connection_fixture.h"
#include "tests/local_time_at.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"
#include "tests/test_bytes.h"
#include "tests/wait_until.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Data the receiver sends right behind its reply comes in with the reply's read: it is
// logged like everything after it.
TEST_F(ConnectionTest, DataRightBehindTheReplyIsLogged) {
  ScratchDir scratch;
  SetDumpDirectory(*connection->capture, scratch.Str());
  SetLogging(connection->capture->logging, 1);
  const std::string sentence = "$GPZDA,101530.00,07,12,2026,00,00*62\r\n";
  const Bytes frame = Frame(0x40, {'a', 'b'});
  const std::string posn(frame.begin(), frame.end());
  FakeReceiver receiver;
  ReceiverScript script = Script(kMorwick);
  script.afterReply = sentence + posn;
  ASSERT_TRUE(StartFakeReceiver(receiver, script));
  ASSERT_EQ(Connect(receiver), kOutcomeConnected);
  EndConnection(*connection);  // the worker has handled what it read, and closed the files
  auto read = [&](const char* name) { return FileText(scratch / name); };
  EXPECT_EQ(read("nmea.dmp"), sentence);
  EXPECT_EQ(read("posn.dmp"), posn);
}

TEST_F(ConnectionTest, ANewConnectEndsTheOneUnderWayAtOnce) {
  FakeReceiver silent;  // never answers: the first attempt waits in its break and reply wait
  ASSERT_TRUE(StartFakeReceiver(silent, Script(kMorwick, EnqReply::kSilent)));
  BeginConnect(*connection, FakeReceiverPath(silent), TickCount());
  WaitUntil([&] { return EnqCount(silent) > 0; });  // the probe is out
  FakeReceiver answering;
  ASSERT_TRUE(StartFakeReceiver(answering, Script(kMorwick)));
  auto start = Clock::now();
  BeginConnect(*connection, FakeReceiverPath(answering), TickCount());
  EXPECT_LT(Clock::now() - start, milliseconds(1000)) << "the first identification was cut short";
  ASSERT_EQ(AwaitOutcome(), kOutcomeConnected);
  std::lock_guard<std::mutex> hold(queue.lock);
  EXPECT_TRUE(queue.reports.empty()) << "the cancelled attempt reports nothing";
  EXPECT_TRUE(status.Failures().empty()) << "and shows no failure";
}

// A key's effect is asked for 40 ms after the last key of a burst, no sooner than the
// line's gap after the last request and never while an answer is still due; a screen
// still as it was before the key asks again at 140 and 280 ms, and no more.
TEST_F(ConnectionTest, AKeysFollowUpsAskUntilTheScreenChanges) {
  FakeReceiver receiver;
  ReceiverScript script = Script(kMorwick);
  script.answerScreens = false;  // the test puts the screens in place itself
  ASSERT_TRUE(StartFakeReceiver(receiver, script));
  ASSERT_EQ(Connect(receiver), kOutcomeConnected);
  EXPECT_EQ(PollGapMs(*connection), 98) << "185 bytes at 38400 baud, twice";
  EXPECT_EQ(AnswerDueMs(*connection), 247);
  unsigned attempt = connection->attempt.number;
  uint8_t before[kScreenImageSize], clockTicked[kScreenImageSize], after[kScreenImageSize];
  std::memset(before, ' ', kScreenCells);
  before[kScreenCells] = 0;
  std::memcpy(clockTicked, before, sizeof before);
  std::memcpy(clockTicked + 30, "12:34:56", 8);  // its clock on, the cursor in place
  std::memcpy(after, before, sizeof before);
  after[kScreenCells] = 1;  // the cursor moved by the key
  StoreScreen(connection->capture->screen, before, kScreenImageSize);
  Tick t = TickCount() + 1000;
  PollReceiver(*connection, t, 0);
  NoteScreen(*connection, attempt);
  EXPECT_EQ(MsUntilFollowUp(*connection, t), -1) << "the connect's key: its first screen came";

  t += 1000;
  SendKey(*connection, '1', t + 10);
  SendKey(*connection, '2', t + 20);
  EXPECT_EQ(MsUntilFollowUp(*connection, t + 20), 40) << "one follow-up, after the burst";
  PollReceiver(*connection, t + 60, 0);
  EXPECT_EQ(MsUntilFollowUp(*connection, t + 60), -1) << "its answer is awaited";
  StoreScreen(connection->capture->screen, clockTicked, kScreenImageSize);
  NoteScreen(*connection, attempt);  // only the clock moved: the key is not handled yet
  EXPECT_EQ(MsUntilFollowUp(*connection, t + 100), 60) << "again at 140 ms";
  PollReceiver(*connection, t + 160, 0);
  EXPECT_EQ(MsUntilFollowUp(*connection, t + 200), -1) << "one request at a time";
  NoteScreen(*connection, attempt);
  EXPECT_EQ(MsUntilFollowUp(*connection, t + 200), 100) << "the third and last at 280 ms";
  PollReceiver(*connection, t + 300, 0);
  NoteScreen(*connection, attempt);
  EXPECT_EQ(MsUntilFollowUp(*connection, t + 400), -1) << "three requests for a key at most";

  // A tick just before the key leaves the line's gap to wait out; a changed screen ends it.
  PollReceiver(*connection, t + 2000, 0);
  NoteScreen(*connection, attempt);
  SendKey(*connection, '3', t + 2010);
  EXPECT_EQ(MsUntilFollowUp(*connection, t + 2010), 88);
  PollReceiver(*connection, t + 2098, 0);
  StoreScreen(connection->capture->screen, after, kScreenImageSize);
  NoteScreen(*connection, attempt);
  EXPECT_EQ(MsUntilFollowUp(*connection, t + 2200), -1);
  connection->identity.baud = 9600;
  EXPECT_EQ(PollGapMs(*connection), 386);
}

TEST_F(ConnectionTest, AHangUpIsALossAndAFailedWriteIsOneToo) {
  FakeReceiver receiver;
  ASSERT_TRUE(StartFakeReceiver(receiver, Script(kMorwick)));
  ASSERT_EQ(Connect(receiver), kOutcomeConnected);
  unsigned attempt = connection->attempt.number;
  EXPECT_EQ(NoteLineDown(*connection, attempt - 1, 0, 0), 0) << "an earlier connection's news";
  HangUpFakeReceiver(receiver);
  ASSERT_TRUE(AwaitLineDown());
  EXPECT_EQ(NoteLineDown(*connection, attempt, 0, 0), 1);
  EXPECT_EQ(connection->state, LinkState::kLost);

  FakeReceiver second;
  ASSERT_TRUE(StartFakeReceiver(second, Script(kMorwick)));
  ASSERT_EQ(Connect(second), kOutcomeConnected);
  EXPECT_EQ(connection->state, LinkState::kConnected)
      << "another device ends the wait for the old one";
  connection->writeFailed = true;  // as SendKey leaves it when a key cannot be written
  EXPECT_EQ(PollReceiver(*connection, 100, 0), 1);
}

TEST_F(ConnectionTest, FailedAttemptsWhileLostComeLaterEachTime) {
  connection->state = LinkState::kLost;
  std::snprintf(connection->establishedPath, kPathSize, "/dev/tarnex-gone");
  Tick now = (Tick(1) << 32) - 4096;  // where a 32-bit count of milliseconds would wrap
  for (int expected : {2000, 5000, 10000, 10000}) {
    BeginConnect(*connection, "/dev/tarnex-gone", now);
    ASSERT_EQ(AwaitOutcomeAt(now), kOutcomeFailed);
    EXPECT_EQ(MsUntilReconnect(*connection, now), expected);
    EXPECT_EQ(MsUntilReconnect(*connection, now + expected - 1), 1);
    EXPECT_EQ(MsUntilReconnect(*connection, now + expected), 0);
    now += expected;
  }
  EXPECT_EQ(status.Failures().back(),
            "Could not establish communication with receiver. No such file or directory: "
            "/dev/tarnex-gone");
  SetAutoReconnect(*connection, 0, now);
  EXPECT_EQ(MsUntilReconnect(*connection, now), -1);
  SetAutoReconnect(*connection, 1, now);
  EXPECT_EQ(MsUntilReconnect(*connection, now), 1000);
}

// A device that never answered is waited for on the same schedule when the owner asks
// for it, and not once another device is chosen.
TEST_F(ConnectionTest, ADeviceNotThereYetIsWaitedFor) {
  connection->settings.waitsForDevice = true;
  Tick now = 5000;
  char text[600];
  for (int expected : {1000, 2000, 5000}) {
    BeginConnect(*connection, "/dev/tarnex-not-yet", now);
    ASSERT_EQ(AwaitOutcomeAt(now), kOutcomeFailed);
    EXPECT_EQ(MsUntilReconnect(*connection, now), expected);
    WaitingText(*connection, now, text, sizeof text);
    EXPECT_EQ(std::string(text), "Waiting for the receiver on /dev/tarnex-not-yet (next try in " +
                                     std::to_string(expected / 1000) +
                                     " s). Last try: No such file or directory: "
                                     "/dev/tarnex-not-yet");
    now += expected;
  }
  SetAutoReconnect(*connection, 0, now);
  WaitingText(*connection, now, text, sizeof text);
  EXPECT_EQ(std::string(text).rfind("No receiver on /dev/tarnex-not-yet; use Connect", 0), 0u);
  BeginConnect(*connection, "/dev/tarnex-other", now);
  ASSERT_EQ(AwaitOutcomeAt(now), kOutcomeFailed);
  EXPECT_EQ(MsUntilReconnect(*connection, now), -1) << "reconnect is off";
  EXPECT_STREQ(connection->waitingPath, "/dev/tarnex-other");
}

TEST(LossText, SaysWhenAndWhatItWaitsFor) {
  auto connection = std::make_unique<Connection>();
  connection->lostAt = LocalTimeAt(2026, 12, 7, 10, 8, 33);
  std::snprintf(connection->establishedPath, kPathSize, "/dev/ttyUSB0");
  struct Case {
    const char* stable;
    int automatic;
    const char* cause;
    const char* text;
  } cases[] = {
      {"", 1, "", "Receiver lost at 10:08:33; reconnecting to /dev/ttyUSB0..."},
      {"/dev/serial/by-id/usb-X", 1, "Could not identify receiver.",
       "Receiver lost at 10:08:33; reconnecting to /dev/serial/by-id/usb-X... Last try: Could "
       "not identify receiver."},
      {"", 0, "", "Receiver lost at 10:08:33; use Connect to reconnect to /dev/ttyUSB0."},
  };
  for (const Case& c : cases) {
    std::snprintf(connection->establishedStable, kPathSize, "%s", c.stable);
    std::snprintf(connection->lastCause, kCauseSize, "%s", c.cause);
    connection->settings.autoReconnect = c.automatic;
    char text[1024];
    LossText(*connection, text, sizeof text);
    EXPECT_STREQ(text, c.text);
  }
}

// A USB adapter that comes back under another name is found by its stable name.
TEST_F(ConnectionTest, ALostDeviceIsFoundAgainByItsStableName) {
  ScratchDir scratch;
  std::string folder = scratch.Str();
  std::string link = scratch / "usb-Tarnex_Test_Adapter-if00-port0";
  connection->stableNameDirectory = folder.c_str();
  FakeReceiver first;
  ASSERT_TRUE(StartFakeReceiver(first, Script(kMorwick)));
  std::filesystem::create_symlink(FakeReceiverPath(first), link);
  std::string userPath = FakeReceiverPath(first);
  BeginConnect(*connection, userPath.c_str(), TickCount());
  ASSERT_EQ(AwaitOutcome(), kOutcomeConnected);
  EXPECT_EQ(std::string(connection->identity.stablePath), link);

  MarkLost(*connection, TickCount(), 0);
  FakeReceiver second;  // the same adapter, back under another name
  ASSERT_TRUE(StartFakeReceiver(second, Script(kMorwick)));
  HangUpFakeReceiver(first);
  ASSERT_STRNE(FakeReceiverPath(second), userPath.c_str());
  std::filesystem::remove(link);
  std::filesystem::create_symlink(FakeReceiverPath(second), link);
  BeginConnect(*connection, userPath.c_str(), TickCount());
  ASSERT_EQ(AwaitOutcome(), kOutcomeConnected);
  EXPECT_EQ(connection->state, LinkState::kConnected);
  EXPECT_EQ(EnqCount(second), 1);
}

}  // namespace

// Every time the program keeps, driven from where a 32-bit count of milliseconds would
// turn negative (2^31: 24.8 days) or wrap (2^32: 49.7 days), and from a year on: the link
// watch and the poll (three unanswered lose the receiver), a key's follow-up, the loss and
// its reconnect, --silence, and the dump files' sync.
TEST_F(ConnectionTest, TimesHoldAcross32BitsOfMilliseconds) {
  FakeReceiver receiver;
  ReceiverScript script = Script(kMorwick);
  script.answerScreens = false;
  ASSERT_TRUE(StartFakeReceiver(receiver, script));
  const Tick kYear = Tick(365) * 86400000;
  int connects = 0;
  for (Tick base : {(Tick(1) << 31) - 300, (Tick(1) << 32) - 300, kYear, 30 * kYear}) {
    SCOPED_TRACE(base);
    BeginConnect(*connection, FakeReceiverPath(receiver), base);
    ASSERT_EQ(AwaitOutcomeAt(base), kOutcomeConnected);
    Tick now = base;
    // An answer between polls keeps the link alive however long it runs.
    for (int i = 0; i < 6; ++i) {
      ASSERT_EQ(PollReceiver(*connection, now += 900, 0), 0);
      NoteScreen(*connection, connection->attempt.number);
    }
    SendKey(*connection, '1', now + 500);
    EXPECT_EQ(MsUntilFollowUp(*connection, now + 500), 40) << "a key's effect, asked soon";
    EXPECT_EQ(PollReceiver(*connection, now += 900, 0), 0);
    NoteScreen(*connection, connection->attempt.number - 1);  // an earlier connection's: none
    for (int i = 0; i < 2; ++i) EXPECT_EQ(PollReceiver(*connection, now += 900, 0), 0);
    EXPECT_EQ(PollReceiver(*connection, now += 900, 5000), 1) << "three unanswered: lost";
    EXPECT_EQ(connection->state, LinkState::kLost);
    EXPECT_FALSE(PortIsOpen(connection->link->port)) << "the device is let go";
    EXPECT_EQ(connection->lostAt, 5000);
    int keys = 2 * ++connects;  // each connect's own key, and the '1'
    EXPECT_TRUE(WaitUntil([&] { return SentCount(receiver, 0x81) == keys; }));
    SendKey(*connection, 0x50, now);
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(SentCount(receiver, 0x81), keys) << "no key for a lost receiver";
    EXPECT_EQ(MsUntilReconnect(*connection, now), 1000);
    EXPECT_EQ(MsUntilReconnect(*connection, now + 999), 1);
    EXPECT_EQ(MsUntilReconnect(*connection, now + 1000), 0);

    const Tick silence = 60000;  // --silence 60s, on a line that sent at `base`
    EXPECT_FALSE(LineSilent(base, base, base + silence - 1, silence));
    EXPECT_TRUE(LineSilent(base, base, base + silence, silence));
    EXPECT_FALSE(LineSilent(base - 1, base, base + 100 * kYear, silence)) << "sent nothing since";

    ScratchDir scratch;
    LoggingSwitch logging;
    SetLogging(logging, 1);
    DumpSlot slot;
    const uint8_t item[] = {'$', '\r', '\n'};
    ASSERT_EQ(
        WriteDump(logging, scratch.Str().c_str(), kNmeaStream, item, 3, slot, DumpClock{base, 0}),
        1);
    EXPECT_TRUE(SyncDump(slot, DumpClock{base + 999, 0}, false)) << "not a second old yet";
    EXPECT_FALSE(SyncDump(slot, DumpClock{base + 1000, 0}, false)) << "handed to the disk";
    CloseDump(slot);
  }
}

// The fix speaks of one receiver: connected to another (another identification, or
// another device), it starts afresh, and a return to the same one keeps it.
TEST_F(ConnectionTest, AnotherReceiverStartsANewFix) {
  FakeReceiver first, second;
  ASSERT_TRUE(StartFakeReceiver(first, Script(kMorwick)));
  ASSERT_TRUE(StartFakeReceiver(second, Script("PRODUCT,VELTARIS;PORT,0,0,38400,8,1,N,X")));
  ASSERT_EQ(Connect(first), kOutcomeConnected);
  ApplyToSharedFix(connection->capture->fix, "$GPZDA,101530.00,07,12,2026,00,00*65\r\n", 0);
  unsigned generation = CopySharedFix(connection->capture->fix, 0).generation;
  ASSERT_EQ(Connect(first), kOutcomeConnected);
  EXPECT_EQ(CopySharedFix(connection->capture->fix, 0).generation, generation) << "the same one";
  ASSERT_EQ(Connect(second), kOutcomeConnected);
  FixState fix = CopySharedFix(connection->capture->fix, 0);
  EXPECT_NE(fix.generation, generation);
  EXPECT_EQ(fix.sentences, 0u) << "nothing of the first receiver's";
}
