// SPDX-License-Identifier: BSD-2-Clause
// tarnex-log sharing its receiver, as its clients see it: what reaches them and the dump
// files, who may attach and press keys, a client that stops reading, and gpsd.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "link/packet_type.h"
#include "sim/fake_receiver.h"
#include "tests/log_run.h"
#include "tests/loopback_client.h"
#include "tests/receiver_script.h"
#include "tests/whole_items.h"

namespace {

// The frames and the sentences of a stream of whole items, each kind in its order.
void SplitItems(const Bytes& stream, Bytes& frames, Bytes& sentences) {
  ForEachItem(stream, [&](const uint8_t* item, size_t size, bool frame) {
    Bytes& into = frame ? frames : sentences;
    if (frame || item[0] == '$') into.insert(into.end(), item, item + size);
  });
}

// A client that stops reading is dropped and said once its queue is full; another client
// and the dump files get every item, whole and in order, and the run ends clean.
TEST(SharedReceiver, AClientThatStopsReadingIsDroppedAndLoggingLosesNothing) {
  LoggedReceiver logger;
  ASSERT_TRUE(logger.Start({"--share", "0"}));
  int port = logger.Port("sharing the receiver");
  LoopbackClient stalled(port, 4096);
  LoopbackClient reader(port);
  ASSERT_TRUE(stalled.fd >= 0 && reader.fd >= 0);
  // Both attached before the first item: one attached late misses what came before it.
  ASSERT_TRUE(WaitUntil([&] { return Occurrences(logger.run.Output(), " attached;") >= 2; }));
  Bytes frames;
  Bytes sentences;
  for (int i = 0; i < 3000 && !logger.run.Said("share: dropped 127.0.0.1:"); ++i) {
    Bytes data(240, static_cast<uint8_t>(i));
    data[0] = static_cast<uint8_t>(i >> 8);
    Bytes frame = Frame(TypeByte(PacketType::kRawObservation), data);
    Bytes sentence = Text(Sentence("GPTXT,01,01,02,item " + std::to_string(i)));
    Send(logger.receiver, Cat({frame, sentence}));
    frames = Cat({frames, frame});
    sentences = Cat({sentences, sentence});
    reader.Read(0);
    // About 100 kB a second, ten times a full 115200-baud line: fast enough to fill the
    // stalled client's queue in a second or two, not a flood that a client reading at once
    // could not keep up with either while the server waits for the processor.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(WaitUntil(
      [&] {
        reader.Read(0);  // the reader keeps up while the logger catches up with the line
        return logger.run.Said("share: dropped 127.0.0.1:");
      },
      10000))
      << logger.run.Output();
  EXPECT_TRUE(logger.run.Said("it did not keep up"));
  // The reader is not dropped, and what it has is the items in order, whole.
  reader.ReadUntil([&](const Bytes& got) { return got.size() >= frames.size() + sentences.size(); },
                   10000);
  EXPECT_EQ(Occurrences(logger.run.Output(), "dropped"), 1u) << logger.run.Output();
  Bytes readerFrames;
  Bytes readerSentences;
  SplitItems(reader.received, readerFrames, readerSentences);
  EXPECT_EQ(readerFrames, frames);
  EXPECT_EQ(readerSentences, sentences);
  EXPECT_EQ(logger.run.Signal(SIGTERM), 0) << logger.run.Output();
  EXPECT_TRUE(logger.run.Said("every item is on disk"));
  EXPECT_EQ(FileBytes(logger.run.dir + "/obsd.dmp"), frames);
  EXPECT_EQ(FileBytes(logger.run.dir + "/nmea.dmp"), sentences);
}

// Loopback may watch but not press keys when --share-control names others: its probe and
// screen requests are answered (--check finds a receiver there), its key is said and not
// sent. An address outside
// --share-allow is refused and said.
TEST(SharedReceiver, WatchersPressNothingAndStrangersAreRefused) {
  LoggedReceiver watched;
  ASSERT_TRUE(watched.Start({"--share", "0", "--share-control", "10.0.0.0/8"}));
  LoopbackClient watcher(watched.Port("sharing the receiver"));
  ASSERT_TRUE(watcher.Send(Handshake()));
  Bytes identification = Frame(TypeByte(PacketType::kIdentificationReply), Text(kMorwick));
  EXPECT_TRUE(watcher.ReadUntil([&](const Bytes&) {
    return watcher.Got(Cat({Bytes{kAck}, identification}));
  }));
  ClearReceived(watched.receiver);
  watcher.received.clear();
  ASSERT_TRUE(watcher.Send(Frame(TypeByte(PacketType::kKey), {'1'})));
  ASSERT_TRUE(watcher.Send(Frame(TypeByte(PacketType::kScreen), {0, 0, 0x78, 0x30, 0x38})));
  EXPECT_TRUE(watcher.ReadUntil([&](const Bytes&) { return watcher.Got({kStx, 0, 0x82}); }));
  EXPECT_TRUE(WaitUntil([&] { return watched.run.Said("may only watch"); }));
  for (const SeenPacket& packet : ReceivedPackets(watched.receiver)) EXPECT_NE(packet.type, 0x81);
  LogRun check;  // what a user checks first: does a receiver answer there?
  std::string shared = "tcp://127.0.0.1:" + std::to_string(watched.Port("sharing the receiver"));
  check.Start({"--check", shared});
  EXPECT_EQ(check.Wait(), 0) << check.Output();
  EXPECT_TRUE(check.Said("ok: a receiver answers on " + shared)) << check.Output();

  LoggedReceiver closed;
  ASSERT_TRUE(closed.Start({"--share", "0", "--share-allow", "10.0.0.0/8,fd00::/8"}));
  LoopbackClient stranger(closed.Port("sharing the receiver"));
  ASSERT_GE(stranger.fd, 0);
  EXPECT_TRUE(WaitUntil([&] { return !stranger.Read(20); }));  // closed at once
  EXPECT_TRUE(WaitUntil([&] { return closed.run.Said("share: refused 127.0.0.1:"); }));
  EXPECT_TRUE(closed.run.Said("not in --share-allow"));
}

// Debian's gpsd, reading --nmea-out, reports the simulated receiver's fix.
TEST(SharedReceiver, GpsdReadsTheFixFromNmeaOut) {
  if (access("/usr/sbin/gpsd", X_OK) != 0 || access("/usr/bin/gpspipe", X_OK) != 0) {
    GTEST_SKIP() << "gpsd and gpspipe are not installed (Debian: gpsd, gpsd-clients; "
                    "./run test installs them)";
  }
  LoggedReceiver logger;
  ASSERT_TRUE(logger.Start({"--nmea-out", "0"}, 2));
  int nmeaPort = logger.Port("serving NMEA");
  int gpsdPort = 20000 + static_cast<int>(getpid() % 20000);
  std::string socketPath = logger.run.dir + "/gpsd.sock";
  pid_t gpsd = StartProgram({"/usr/sbin/gpsd", "-N", "-n", "-S", std::to_string(gpsdPort), "-F",
                             socketPath, "tcp://127.0.0.1:" + std::to_string(nmeaPort)});
  std::string command = "timeout 20 gpspipe -w -n 30 127.0.0.1:" + std::to_string(gpsdPort);
  std::string reports;
  WaitUntil(
      [&] {
        FILE* pipe = popen(command.c_str(), "r");
        char line[4096];
        while (pipe != nullptr && fgets(line, sizeof line, pipe) != nullptr) reports += line;
        if (pipe != nullptr) pclose(pipe);
        return reports.find("\"class\":\"TPV\"") != std::string::npos;
      },
      25000);
  StopProgram(gpsd);
  size_t fix = reports.find("\"class\":\"TPV\"");
  ASSERT_NE(fix, std::string::npos) << reports;
  EXPECT_NE(reports.find("\"lat\":52.21", fix), std::string::npos) << reports;
  EXPECT_NE(reports.find("\"lon\":5.12", fix), std::string::npos) << reports;
  EXPECT_TRUE(logger.run.Said("nmea-out: 127.0.0.1:"));
}

}  // namespace
