// SPDX-License-Identifier: BSD-2-Clause
// The connection through a real serial-to-network server: ser2net serves the simulated
// receiver's pseudo-terminal to the panel's rfc2217:// and tcp:// names.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "port/port_name.h"
#include "tests/connection_fixture.h"
#include "tests/scratch_dir.h"
#include "tests/ser2net_fixture.h"
#include "tests/test_bytes.h"
#include "tests/wait_until.h"

namespace {

struct NetworkTest : ConnectionTest {
  FakeReceiver receiver;
  Ser2net server;
  ScratchDir scratch;
  std::string traffic;
  FILE* trafficFile = nullptr;

  void SetUp() override {
    ConnectionTest::SetUp();
    if (!HaveSer2net()) GTEST_SKIP() << "ser2net is not installed (./run installs it)";
  }
  void TearDown() override {
    ConnectionTest::TearDown();
    server.Stop();
    StopFakeReceiver(receiver);
    if (trafficFile != nullptr) std::fclose(trafficFile);
  }
  void StartAll(bool rfc2217, const char* lineSettings) {
    ReceiverScript script = Script(kMorwick);
    traffic = scratch / "traffic.txt";
    trafficFile = std::fopen(traffic.c_str(), "w");
    ASSERT_NE(trafficFile, nullptr) << traffic;
    script.traffic = trafficFile;
    ASSERT_TRUE(StartFakeReceiver(receiver, script));
    ASSERT_TRUE(server.Start(FakeReceiverPath(receiver), rfc2217, lineSettings));
  }
  int ConnectTo(const std::string& name) {
    BeginConnect(*connection, name.c_str(), TickCount());
    return AwaitOutcome();
  }
  std::string Traffic() {
    std::fflush(trafficFile);
    return FileText(traffic);
  }
};

// Through RFC 2217 the whole connect works: identification at 9600 baud, the switch to
// the receiver's 38400 (the simulator reads both back from its pseudo-terminal), and then
// keys and frames holding 0xFF both ways, logged byte for byte.
TEST_F(NetworkTest, Rfc2217CarriesTheLineSwitchAndEveryByte) {
  StartAll(true, "9600n81");
  SetDumpDirectory(*connection->capture, scratch.Str());
  SetLogging(connection->capture->logging, 1);
  ASSERT_EQ(ConnectTo(server.Name("rfc2217")), kOutcomeConnected) << status.Failures().size();
  EXPECT_EQ(connection->identity.baud, 38400u);
  SendKey(*connection, 0xFF, TickCount());
  Bytes frame = Frame(0x40, {0xFF, 0x01, 0xFF, 0xFF});
  const std::string sentence =
      "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
  for (int i = 0; i < 3; ++i) {
    Send(receiver, frame);
    SendFromReceiver(receiver, reinterpret_cast<const uint8_t*>(sentence.data()),
                     static_cast<int>(sentence.size()));
  }
  std::string posn = scratch / "posn.dmp";
  Bytes expected = Cat({frame, frame, frame});
  // Sentences are logged after the frames of the same read: wait for both files.
  std::string nmea = scratch / "nmea.dmp";
  WaitUntil([&] {
    return FileText(posn).size() >= expected.size() && FileText(nmea).size() >= 3 * sentence.size();
  });
  EXPECT_EQ(FileBytes(posn), expected);
  EXPECT_EQ(FileText(nmea), sentence + sentence + sentence);
  std::string seen = Traffic();
  EXPECT_NE(seen.find("6f 0 9600\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("81 1 38400\n"), std::string::npos) << seen;
  std::vector<int> keys = SentKeys(receiver);
  EXPECT_EQ(std::count(keys.begin(), keys.end(), 0xFF), 1) << "doubled on the way, once here";
  connection.reset();
}

// A raw TCP accepter: identification works at whatever speed the server's port has, the
// line cannot be switched, and that is said once.
TEST_F(NetworkTest, RawTcpIdentifiesAndSaysItCannotSwitch) {
  StartAll(false, "38400n81");
  ASSERT_EQ(ConnectTo(server.Name("tcp")), kOutcomeConnected);
  EXPECT_EQ(status.Count("The line cannot be switched over " + server.Name("tcp") +
                         ": the remote port must be at 38400 baud, parity none already"),
            1);
}

// A server that goes away is a lost receiver, as an unplugged adapter is; one that is
// not there is named like a port that is not.
TEST_F(NetworkTest, ADroppedConnectionIsALostReceiver) {
  StartAll(true, "9600n81");
  ASSERT_EQ(ConnectTo(server.Name("rfc2217")), kOutcomeConnected);
  server.Stop();
  ASSERT_TRUE(AwaitLineDown());
  EXPECT_EQ(NoteLineDown(*connection, connection->attempt.number, TickCount(), 0), 1);
  EXPECT_EQ(ConnectTo(server.Name("rfc2217")), kOutcomeFailed);
  EXPECT_TRUE(status.Saw("Connection refused: " + server.Name("rfc2217"))) << status.Texts().size();
}

TEST(NetName, Parts) {
  const struct {
    const char* name;
    bool ok;
    int kind;
    const char* host;
    const char* service;
  } cases[] = {
      {"rfc2217://base1:2001", true, kRfc2217, "base1", "2001"},
      {"tcp://10.0.0.7:4001", true, kRawTcp, "10.0.0.7", "4001"},
      {"rfc2217://[::1]:2001", true, kRfc2217, "::1", "2001"},
      {"rfc2217://base1", false, 0, "", ""},
      {"tcp://:2001", false, 0, "", ""},
      {"tcp://base1:20x1", false, 0, "", ""},
      {"tcp://base1:200000", false, 0, "", ""},
      {"/dev/ttyUSB0", false, 0, "", ""},
  };
  for (const auto& c : cases) {
    int kind = 0;
    char host[64] = {};
    char service[8] = {};
    EXPECT_EQ(ParseNetName(c.name, kind, host, sizeof host, service, sizeof service), c.ok)
        << c.name;
    if (!c.ok) continue;
    EXPECT_EQ(kind, c.kind);
    EXPECT_STREQ(host, c.host);
    EXPECT_STREQ(service, c.service);
  }
}

}  // namespace
