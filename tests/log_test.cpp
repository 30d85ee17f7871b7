// SPDX-License-Identifier: BSD-2-Clause
// tarnex-log as its users run it: the program against the simulated receiver, and its
// connection check.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "log/log_options.h"
#include "log/log_report.h"
#include "log/port_check.h"
#include "log/web_status.h"
#include "port/port.h"
#include "sim/fake_receiver.h"
#include "sim/replay.h"
#include "tests/log_run.h"
#include "tests/receiver_script.h"
#include "tests/recording_read.h"
#include "tests/scratch_dir.h"
#include "tests/sim_program.h"
#include "tests/status_capture.h"
#include "tests/test_bytes.h"
#include "tests/wait_until.h"
#include "tests/whole_items.h"

namespace {

TEST(TarnexLog, ExitStatuses) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{}, 2, "no device"},
      {{"-D", "/dev/x", "--for", "5x"}, 2, "not a duration"},
      {{"-D", "/dev/x", "--bogus"}, 2, "unknown option"},
      {{"-D", "/dev/x", "--split", "week"}, 2, "--split week: hour or day"},
      {{"-D", "/dev/x", "--keep", "30d"}, 2, "--keep deletes split files only"},
      {{"-D", "/dev/x", "--min-free", "lots"}, 2, "--min-free lots: not a size"},
      {{"-D", "/dev/x", "--metrics", "host:99999"}, 2, "not a port, nor ADDRESS:PORT"},
      {{"-D", "/dev/x", "--metrics", "192.0.2.1:9100"}, 1, "cannot serve metrics on 192.0.2.1"},
      {{"--help"}, 0, "usage: tarnex-log"},
      {{"--version"}, 0, "tarnex-log 1.0.2"},
      {{"-D", "/dev/tarnex-no-such-port"}, 1, "No such file or directory: /dev/tarnex-no-such"},
      {{"-D", "/dev/x", "-o", "/tarnex-no-such-dir"}, 1, "cannot write the dump files"},
      {{"-D", "/dev/null", "--record", "/dev/null"}, 1, "cannot record to /dev/null: it is not "},
  };
  for (const auto& c : cases) {
    LogRun run;
    run.Start(c.args);
    EXPECT_EQ(run.Wait(), c.status) << c.says;
    EXPECT_TRUE(run.Said(c.says)) << run.Output();
  }
}

TEST(TarnexLog, OptionsAndDurations) {
  const struct {
    const char* text;
    long seconds;
  } durations[] = {{"90", 90}, {"90s", 90}, {"15m", 900}, {"2h", 7200}, {"1d", 86400},
                   {"0", -1},  {"5x", -1},  {"m", -1},    {"2hh", -1},  {"99999d", -1}};
  for (const auto& d : durations) EXPECT_EQ(ParseDuration(d.text), d.seconds) << d.text;
  const struct {
    const char* text;
    unsigned long long bytes;
  } sizes[] = {{"4096", 4096},     {"500M", 500000000}, {"2G", 2000000000}, {"1T", 1000000000000},
               {"0", 0},           {"-5G", 0},          {"2GB", 0},         {"G", 0},
               {"99999999999T", 0}};
  for (const auto& z : sizes) EXPECT_EQ(ParseSize(z.text), z.bytes) << z.text;
  LogOptions options;
  char error[100];
  const char* argv[] = {"tarnex-log", "-D",        "rfc2217://base1:2001",
                        "-o",         "/srv/logs", "--for",
                        "2h",         "--quiet",   "--wait",
                        "--metrics",  "[::1]:9101"};
  ASSERT_TRUE(ParseLogOptions(11, argv, options, error, sizeof error));
  EXPECT_STREQ(options.metricsHost, "::1");
  EXPECT_EQ(options.metricsPort, 9101);
  EXPECT_STREQ(options.device, "rfc2217://base1:2001");
  EXPECT_STREQ(options.directory, "/srv/logs");
  EXPECT_EQ(options.forSeconds, 7200);
  EXPECT_TRUE(options.quiet && options.wait && !options.check);
  LogView view;
  view.state = kLogLogging;
  view.product = "MORWICK";
  view.baud = 38400;
  view.items[0] = 12;
  view.bytes[0] = 3400;
  view.msSinceLastItem = 400;
  view.reconnects = 1;
  view.items[3] = 123456;
  view.bytes[3] = 9876543;
  view.lost[3] = 17;
  view.fix = "fix RTK-fixed 18 sv HDOP 0.6";
  // Narrower, whole fields go, the least telling first: never a word cut, never the counts,
  // what was LOST or the last item's age before the rest.
  const struct {
    int columns;
    const char* line;
  } widths[] = {
      {200,
       "logging MORWICK 38400 baud | fix RTK-fixed 18 sv HDOP 0.6 | posn 12 (3.4 kB) obsd 0 "
       "corr 0 nmea 123456 (9.9 MB, 17 LOST) | last item 0.4 s ago | reconnects 1"},
      {120,
       "logging MORWICK | fix RTK-fixed 18 sv HDOP 0.6 | posn 12 obsd 0 corr 0 nmea 123456 (17 "
       "LOST) | last item 0.4 s ago"},
      {80, "logging | posn 12 obsd 0 corr 0 nmea 123456 (17 LOST) | last item 0.4 s ago"},
      {70, "logging | posn 12 nmea 123456 (17 LOST) | last item 0.4 s ago"},
      {60, "logging | posn 12 nmea 123456 (17 LOST)"},
      {34, "logging | nmea 123456 (17 LOST)"},
      {30, "logging"},
  };
  for (const auto& w : widths) {
    char line[400];
    LogStatusLine(view, w.columns, line, sizeof line);
    EXPECT_STREQ(line, w.line);
    EXPECT_LT(std::strlen(line), static_cast<size_t>(w.columns)) << "it never wraps";
  }
  view.state = kLogLost;  // a lost receiver has no baud rate
  char lost[400];
  LogStatusLine(view, 0, lost, sizeof lost);
  EXPECT_EQ(std::string(lost).rfind("LOST MORWICK | fix", 0), 0u) << lost;
}

// The unit's options file as the README and the unit itself document it, run as systemd
// runs ExecStart= (an unquoted $TARNEX_OPTIONS is split at blanks): it must log, where
// --keep 400d once made every start fail. The ports it serves on become 0, any free one.
TEST(TarnexLog, TheDocumentedServiceOptionsLog) {
  std::string root = PathFrom("TARNEX_SOURCE_DIR", TARNEX_SOURCE_DIR);
  std::string unit = FileText(root + "/docs/tarnex-log@.service");
  auto line = [](const std::string& text, const std::string& start) {
    size_t at = text.find(start);
    if (at == std::string::npos) return std::string();
    at += start.size();
    return text.substr(at, text.find('\n', at) - at);
  };
  std::string options = line(unit, "#   TARNEX_OPTIONS=");
  std::string command = line(unit, "\nExecStart=");
  ASSERT_FALSE(options.empty() || command.empty()) << "the unit documents its options file";
  EXPECT_NE(FileText(root + "/README.md").find("TARNEX_OPTIONS=" + options), std::string::npos)
      << "the README shows the same options";
  FakeReceiver receiver;
  ASSERT_TRUE(StartFakeReceiver(receiver, Sending(10)));
  LogRun run;
  std::vector<std::string> args;
  std::istringstream words(command.substr(command.find(' ') + 1));
  for (std::string word; words >> word;) {
    if (word == "$TARNEX_OPTIONS") {
      std::istringstream split(options);
      for (std::string option; split >> option;) args.push_back(option);
      continue;
    }
    if (word == "\"%f\"") word = FakeReceiverPath(receiver);
    if (word == "\"/var/lib/tarnex/%i\"") word = run.dir;
    args.push_back(word);
  }
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i - 1] != "--metrics" && args[i - 1] != "--share" && args[i - 1] != "--nmea-out")
      continue;
    size_t colon = args[i].rfind(':');
    args[i] = (colon == std::string::npos ? "" : args[i].substr(0, colon + 1)) + "0";
  }
  run.Start(args);
  EXPECT_TRUE(WaitUntil([&] { return run.Said("connected to MORWICK"); }, 8000)) << run.Output();
  EXPECT_TRUE(run.Said("serving metrics at http://0.0.0.0:")) << run.Output();
  EXPECT_TRUE(run.Said("sharing the receiver at tcp://0.0.0.0:")) << run.Output();
  EXPECT_TRUE(run.Said("serving NMEA at tcp://127.0.0.1:")) << run.Output();
  EXPECT_EQ(run.Signal(SIGTERM), 0) << run.Output();
}

// A recorded session played by the simulated receiver gives its dump files byte for byte;
// nothing but the identification goes to the receiver; SIGTERM ends it cleanly, and the
// flight recorder has both directions and the line's settings as they changed.
TEST(TarnexLog, LogsARecordedSessionAndStopsCleanly) {
  std::string sessions = PathFrom("TARNEX_SOURCE_DIR", TARNEX_SOURCE_DIR) + "/tests/sessions/";
  Replay replay;
  std::string error;
  ASSERT_TRUE(LoadReplay((sessions + "mixed.rec").c_str(), replay, error)) << error;
  std::string stream;
  for (const ReplayChunk& chunk : replay.stream)
    stream.append(chunk.bytes.begin(), chunk.bytes.end());
  FakeReceiver receiver;
  ReceiverScript script;
  ScriptReplay(script, replay, 10);
  ASSERT_TRUE(StartFakeReceiver(receiver, script));
  LogRun run;
  std::string recording = run.dir + "/session.rec";
  run.Start({"-D", FakeReceiverPath(receiver), "-o", run.dir, "--record", recording});
  ASSERT_TRUE(WaitUntil([&] { return receiver.player.done.load(); }, 10000)) << run.Output();
  const char* const names[] = {"posn.dmp", "obsd.dmp", "corr.dmp", "nmea.dmp"};
  auto expected = [&](const char* name) { return FileText(sessions + "mixed/" + name); };
  WaitUntil(
      [&] {
        for (const char* name : names) {
          if (run.Dump(name).size() < expected(name).size()) return false;
        }
        return true;
      },
      5000);
  EXPECT_EQ(run.Signal(SIGTERM), 0) << run.Output();
  for (const char* name : names) EXPECT_EQ(run.Dump(name), expected(name)) << name;
  EXPECT_TRUE(run.Said("stopped; every item is on disk"));
  EXPECT_EQ(SentCount(receiver, 0x6F), static_cast<int>(ReceivedPackets(receiver).size()))
      << "only the identification request";
  EXPECT_NE(Recorded(recording, kRecordReceived).find(stream), std::string::npos);
  EXPECT_EQ(Recorded(recording, kRecordSent).substr(0, 1), "\x05") << "the ENQ first";
  EXPECT_EQ(Recorded(recording, kRecordLine),
            std::string("\x80\x25\x00\x00\x00\x00\x96\x00\x00\x00", 10))
      << "9600, then 38400 baud, no parity";
}

// The folder removed while logging, then writes that fail part way (the file size limit
// standing for a full disk): each is said, the folder is made again, the files stay whole
// items, and the end says what was lost, with status 3.
TEST(TarnexLog, LostItemsAreSaidAndTheFilesStayWhole) {
  FakeReceiver receiver;
  ASSERT_TRUE(StartFakeReceiver(receiver, Sending(40)));
  LogRun run;
  std::string folder = run.dir + "/logs";
  std::filesystem::create_directory(folder);
  run.Start({"-D", FakeReceiverPath(receiver), "-o", folder});
  ASSERT_TRUE(WaitUntil([&] { return run.Dump("nmea.dmp", folder).size() > 0; }, 8000));
  EXPECT_TRUE(WaitUntil([&] { return run.Said(" fix RTK-"); }, 5000)) << "from its GGA";
  std::filesystem::remove_all(folder);
  ASSERT_TRUE(WaitUntil([&] { return run.Said("nmea.dmp was removed while logging"); }, 5000))
      << run.Output();
  ASSERT_TRUE(WaitUntil([&] { return run.Dump("nmea.dmp", folder).size() > 0; }, 5000));
  size_t before = run.Output().size();
  auto saidSince = [&](const char* text) {
    return run.Output().find(text, before) != std::string::npos;
  };
  rlimit limit = {6000, RLIM_INFINITY};
  ASSERT_EQ(prlimit(run.pid, RLIMIT_FSIZE, &limit, nullptr), 0);
  ASSERT_TRUE(
      WaitUntil([&] { return saidSince("File too large. Its items are counted as lost"); }, 10000))
      << run.Output();
  limit.rlim_cur = RLIM_INFINITY;
  ASSERT_EQ(prlimit(run.pid, RLIMIT_FSIZE, &limit, nullptr), 0);
  ASSERT_TRUE(WaitUntil([&] { return saidSince(" again; "); }, 5000)) << run.Output();
  EXPECT_EQ(run.Signal(SIGTERM), 3) << run.Output();
  EXPECT_TRUE(run.Said("stopped; items were LOST: ")) << run.Output();
  EXPECT_FALSE(run.Said("every item is on disk"));
  for (const char* name : {"posn.dmp", "obsd.dmp", "corr.dmp", "nmea.dmp"}) {
    EXPECT_EQ(WholeItemsProblem(run.Dump(name, folder), name[0] == 'n'), "") << name;
  }
}

// One logger per folder; a closed terminal or output ends no log; an earlier recording
// of the same name is kept.
TEST(TarnexLog, SecondLoggerHangUpClosedOutputAndAnEarlierRecording) {
  FakeReceiver receiver, other;
  ASSERT_TRUE(StartFakeReceiver(receiver, Sending(10)));
  ASSERT_TRUE(StartFakeReceiver(other, Sending(0)));
  LogRun run;
  int output[2];
  ASSERT_EQ(pipe(output), 0);
  run.standardOutput = output[1];
  std::string recording = run.dir + "/session.rec";
  std::ofstream(recording) << "an earlier recording";
  run.Start({"-D", FakeReceiverPath(receiver), "-o", run.dir, "--record", recording});
  close(output[1]);
  char first[200];
  ASSERT_GT(read(output[0], first, sizeof first), 0) << "it speaks";
  close(output[0]);  // nobody reads any more
  LogRun second;
  second.Start({"-D", FakeReceiverPath(other), "-o", run.dir});
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_TRUE(second.Said(" is already being logged into by process " + std::to_string(run.pid)))
      << second.Output();
  kill(run.pid, SIGHUP);
  size_t before = run.Dump("nmea.dmp").size();
  EXPECT_TRUE(WaitUntil([&] { return run.Dump("nmea.dmp").size() > before + 300; }, 5000));
  EXPECT_TRUE(run.Running()) << run.Output();
  EXPECT_EQ(run.Signal(SIGTERM), 0) << run.Output();
  int kept = 0;
  for (const auto& entry : std::filesystem::directory_iterator(run.dir)) {
    std::string name = entry.path().filename().string();
    if (name.rfind("session-", 0) == 0 && FileText(entry.path().string()) == "an earlier recording")
      ++kept;
  }
  EXPECT_EQ(kept, 1);
}

// Real receivers' sentences: an RTK receiver's GGA of 92 characters, lines that end in LF
// alone or CR CR LF, logged as received; what is not valid is dropped, counted and said.
TEST(TarnexLog, LongAndOddSentencesAreLoggedAndTheBadOnesCounted) {
  LoggedReceiver logged;
  LogRun& run = logged.run;
  ASSERT_TRUE(logged.Start({})) << run.Output();
  std::string rtk = Sentence(
      "GNGGA,101530.00,5213.12345678,N,00507.12345678,E,4,18,0.6,12.345,M,47.123,M,1.0,0000");
  std::string lf = Sentence("GPZDA,101530.00,07,12,2026,00,00");
  lf.replace(lf.size() - 2, 2, "\n");
  std::string crCrLf = Sentence("GPZDA,101531.00,07,12,2026,00,00");
  crCrLf.insert(crCrLf.size() - 1, "\r");
  std::string wrong = Sentence("GPZDA,101532.00,07,12,2026,00,00");
  wrong[wrong.size() - 3] = wrong[wrong.size() - 3] == '0' ? '1' : '0';
  std::string unsummed = "$GPZDA,101533.00,07,12,2026,00,00\r\n";
  std::string endless = "$GPTXT," + std::string(300, 'A') + "\r\n";
  std::string valid = rtk + lf + crCrLf;
  for (const std::string& text : {rtk, wrong, lf, unsummed, crCrLf, endless}) {
    Send(logged.receiver, Text(text));
  }
  EXPECT_TRUE(WaitUntil([&] { return run.Dump("nmea.dmp") == valid; }, 5000))
      << run.Dump("nmea.dmp");
  EXPECT_EQ(run.Signal(SIGTERM), 0) << run.Output();
  EXPECT_TRUE(
      run.Said("stopped; every item is on disk; 3 NMEA sentences from the receiver were "
               "not valid and were dropped (1 without a checksum, 1 with a wrong "
               "checksum, 1 longer than 255 characters)"))
      << run.Output();
}

// A real receiver's capture played by the simulator (--nmea): every valid sentence reaches
// nmea.dmp as it stood, and the journal tells the receiver's own fix.
TEST(TarnexLog, LogsARealReceiversStream) {
  std::string capture =
      PathFrom("TARNEX_SOURCE_DIR", TARNEX_SOURCE_DIR) + "/tests/captures/ublox-zed-f9p-nmea.log";
  std::string expected;
  std::istringstream lines(FileText(capture));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind('$', 0) == 0) expected += line + "\n";
  }
  LogRun run;
  std::string link = run.dir + "/receiver";
  pid_t sim = StartSimulator(link, {"--nmea", capture, "--rate", "2000"});
  ASSERT_GT(sim, 0);
  run.Start({"-D", link, "-o", run.dir});
  EXPECT_TRUE(WaitUntil([&] { return run.Dump("nmea.dmp").size() >= expected.size(); }, 10000));
  EXPECT_TRUE(WaitUntil([&] { return run.Said(" fix GNSS"); }, 3000)) << run.Output();
  EXPECT_TRUE(WaitUntil([&] { return run.Said(" no fix data (was GNSS)"); }, 6000))
      << "the capture over, its fix is not shown as current";
  EXPECT_EQ(run.Signal(SIGTERM), 0) << run.Output();
  StopProgram(sim);
  EXPECT_TRUE(run.Dump("nmea.dmp") == expected) << "every sentence, as it stood";
}

// tarnex-log's side of the browser panel: who may reach it, and the state it hands the page.
TEST(TarnexLogWeb, WhoMayReachThePanelIsDecidedByTheOptions) {
  struct Case {
    std::vector<const char*> args;
    const char* said;  // "": accepted
  } cases[] = {
      {{"--web", "8080"}, ""},
      {{"--web", "[::1]:8080"}, ""},
      {{"--web", "localhost:8080"}, ""},
      {{"--web", "0.0.0.0:8080"}, "loopback only"},
      {{"--web", "192.168.1.5:8080"}, "loopback only"},
      {{"--web", "[::]:8080"}, "loopback only"},
      {{"--web", "0.0.0.0:8080", "--web-users", "/etc/tarnex/users"}, ""},
      {{"--web", "8080", "--tls-cert", "c.pem"}, "both --tls-cert and --tls-key"},
      {{"--web-users", "/etc/tarnex/users"}, "go with --web"},
      {{"--tls-cert", "c.pem", "--tls-key", "k.pem"}, "go with --web"},
      {{"--web", "http"}, "not a port"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"tarnex-log", "-D", "/dev/ttyUSB0"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    LogOptions options;
    char error[400] = "";
    bool parsed =
        ParseLogOptions(static_cast<int>(argv.size()), argv.data(), options, error, sizeof error);
    EXPECT_EQ(parsed, c.said[0] == '\0') << c.args[1] << ": " << error;
    EXPECT_NE(std::strstr(error, c.said), nullptr) << error;
  }
  LogOptions options;
  char error[200];
  const char* hashing[] = {"tarnex-log", "--hash-password"};
  EXPECT_TRUE(ParseLogOptions(2, hashing, options, error, sizeof error)) << "needs no device";
  EXPECT_TRUE(options.hashPassword);
}

TEST(TarnexLogWeb, TheStateForThePageIsValidJsonWhateverTheReceiverSays) {
  FixState fix;
  fix.quality = kRtkFixed;
  fix.havePosition = true;
  fix.latitude = -33.5;
  fix.satelliteCount = kMaxSatellites;  // every place taken: it must still fit
  for (int i = 0; i < kMaxSatellites; ++i) {
    fix.satellites[i].system = kGlonass;
    fix.satellites[i].id = static_cast<uint16_t>(65 + i);
    fix.satellites[i].elevation = 45;
    fix.satellites[i].azimuth = 359;
    fix.satellites[i].signal = 48;
    fix.satellites[i].used = i % 2 == 0;
  }
  WebStatusView view;
  view.metrics.product = "MOR\"W\\ICK\x01\xE9";
  view.metrics.device = "/dev/serial/by-id/usb-x";
  view.metrics.items[3] = 123456;
  view.metrics.lost[3] = 17;
  view.state = "lost";
  view.fix = &fix;
  static char json[kWebStatusSize];
  int length = WebStatusJson(view, json, sizeof json);
  ASSERT_GT(length, 0);
  std::string text(json, static_cast<size_t>(length));
  EXPECT_NE(text.find("\"product\":\"MOR\\\"W\\\\ICK\\u0001\\u00e9\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"state\":\"lost\""), std::string::npos);
  EXPECT_NE(text.find("{\"name\":\"nmea\",\"items\":123456,\"lost\":17}"), std::string::npos);
  EXPECT_NE(text.find("\"class\":\"RTK-fixed\""), std::string::npos) << text.substr(0, 400);
  EXPECT_NE(text.find("\"latitude\":-33.5"), std::string::npos);
  size_t satellites = 0;
  for (size_t at = 0; (at = text.find("\"label\":", at)) != std::string::npos; ++at) ++satellites;
  EXPECT_EQ(satellites, static_cast<size_t>(kMaxSatellites));
  EXPECT_EQ(text.substr(text.size() - 4), "]}}}") << "closed";
  EXPECT_EQ(WebStatusJson(view, json, length), -1) << "one byte short is said, not cut";
}

struct CheckRun {
  std::vector<std::string> lines;
  int problems = 0;
  static void Print(void* context, const char* line) {
    static_cast<CheckRun*>(context)->lines.push_back(line);
  }
  explicit CheckRun(const std::string& device) {
    problems = CheckPort(device.c_str(), Print, this);
  }
  bool Saw(const std::string& start) {
    for (const std::string& line : lines) {
      if (line.rfind(start, 0) == 0) return true;
    }
    return false;
  }
};

TEST(TarnexLogCheck, MissingOddSilentAndGoodDevices) {
  CheckRun missing("/dev/tarnex-no-such-port");
  EXPECT_EQ(missing.problems, 1);
  EXPECT_TRUE(missing.Saw("PROBLEM: /dev/tarnex-no-such-port does not exist."));
  EXPECT_TRUE(missing.Saw("note: the serial devices here:") ||
              missing.Saw("note: no serial devices are found here"));

  CheckRun notPort("/dev/null");
  EXPECT_TRUE(notPort.Saw("PROBLEM: /dev/null is not a serial port")) << notPort.lines.size();
  EXPECT_EQ(notPort.problems, 1) << "not a process for each holder of /dev/null";

  FakeReceiver quiet;
  ASSERT_TRUE(StartFakeReceiver(quiet, Script(kMorwick, EnqReply::kSilent)));
  CheckRun silent(FakeReceiverPath(quiet));
  EXPECT_TRUE(silent.Saw("PROBLEM: no answer to the probe at 9600 baud"));
  EXPECT_TRUE(silent.Saw("note: nothing came at any common rate"));

  FakeReceiver receiver;
  ASSERT_TRUE(StartFakeReceiver(receiver, Script()));
  CheckRun good(FakeReceiverPath(receiver));
  EXPECT_EQ(good.problems, 0);
  EXPECT_TRUE(good.Saw("ok: a receiver answers on"));
  EXPECT_TRUE(ReceivedPackets(receiver).empty()) << "nothing but the ENQ";
}

TEST(TarnexLogCheck, ABusyDeviceAndOneWithoutPermission) {
  FakeReceiver receiver;
  ASSERT_TRUE(StartFakeReceiver(receiver, Script()));
  int opened[2];
  ASSERT_EQ(pipe(opened), 0);
  pid_t holder = fork();
  if (holder == 0) {
    int fd = open(FakeReceiverPath(receiver), O_RDWR | O_NOCTTY);
    if (fd < 0 || flock(fd, LOCK_EX) != 0 || write(opened[1], "o", 1) != 1) _exit(1);
    pause();
    _exit(fd >= 0 ? 0 : 1);
  }
  char byte;
  ASSERT_EQ(read(opened[0], &byte, 1), 1) << "the holder has the device open";
  close(opened[0]);
  close(opened[1]);
  CheckRun busy(FakeReceiverPath(receiver));
  StatusCapture status;  // the panel and tarnex-log name the holder of a busy port too
  Port port;
  EXPECT_EQ(OpenPort(port, FakeReceiverPath(receiver)), -1);
  EXPECT_TRUE(status.Saw(std::string("Device or resource busy: ") + FakeReceiverPath(receiver) +
                         " (held by log_tests, process " + std::to_string(holder) + ")"))
      << (status.Texts().empty() ? "" : status.Texts().back());
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_TRUE(busy.Saw("PROBLEM: process " + std::to_string(holder))) << busy.lines.size();

  if (geteuid() == 0) return;  // root opens anything: this part runs in the pass as nobody
  ScratchDir scratch;
  std::string path = scratch / "locked";
  std::ofstream(path).put('x');
  chmod(path.c_str(), 0);
  CheckRun locked(path);
  EXPECT_TRUE(locked.Saw(std::string("PROBLEM: ")) && locked.lines.size() >= 2);
  EXPECT_NE(locked.lines[1].find("may not open " + std::string(path)), std::string::npos)
      << locked.lines[1];
}

}  // namespace
