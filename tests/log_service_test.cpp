// SPDX-License-Identifier: BSD-2-Clause
// tarnex-log as a service: the metrics Prometheus reads, the free-space watch, and what
// it tells systemd, down to the datagrams on a notify socket of the test's own.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "log/free_space.h"
#include "log/metrics_text.h"
#include "log/service_notify.h"
#include "sim/fake_receiver.h"
#include "tests/http_client.h"
#include "tests/log_run.h"

namespace {

// A sample's value as the text gives it: the line that begins with `key` and a blank (the
// name with its labels, escaped as they must be). NaN when there is none. Whether the
// whole text keeps the format is promtool's to say (tests/prometheus/network.sh).
double Sample(const std::string& text, const std::string& key) {
  size_t at = ("\n" + text).find("\n" + key + " ");
  if (at == std::string::npos) return std::nan("");
  return std::strtod(text.c_str() + at + key.size() + 1, nullptr);
}

bool Typed(const std::string& text, const std::string& name, const std::string& type) {
  return text.find("# TYPE " + name + " " + type + "\n") != std::string::npos;
}

TEST(LogMetrics, TheTextReadsBackWithItsTypesAndEscapedLabels) {
  MetricsView view;
  view.connected = true;
  view.product = "MORWICK";
  view.firmware = "2.10";
  view.device = R"(/dev/odd"name\x)";
  view.baud = 38400;
  view.items[3] = 1234;
  view.bytes[3] = 98765;
  view.lost[1] = 5;
  view.fileBytes[0] = 4096;
  view.lastItemAgeSeconds = 2.5;
  view.reconnects = 3;
  view.freeBytes = 123456789012;
  view.freeLow = true;
  view.fixKnown = true;
  view.fixQuality = 4;
  view.satellitesUsed = 18;
  view.hdop = 0.6;
  view.sharing = true;
  view.clientsAttached = 7;
  view.keysForwarded = 42;
  view.keysRefused = 2;
  view.clientsDropped = 1;
  char text[kMetricsTextSize];
  ASSERT_GT(MetricsText(view, text, sizeof text), 0);
  const std::map<std::string, double> expected = {
      {"tarnex_connected", 1},
      {R"(tarnex_receiver_info{product="MORWICK",firmware="2.10",device="/dev/odd\"name\\x",baud="38400"})",
       1},
      {R"(tarnex_items_total{stream="nmea"})", 1234},
      {R"(tarnex_items_total{stream="posn"})", 0},
      {R"(tarnex_bytes_total{stream="nmea"})", 98765},
      {R"(tarnex_items_lost_total{stream="obsd"})", 5},
      {R"(tarnex_file_size_bytes{stream="posn"})", 4096},
      {"tarnex_last_item_age_seconds", 2.5},
      {"tarnex_reconnects_total", 3},
      {"tarnex_free_bytes", 123456789012},
      {"tarnex_free_low", 1},
      {"tarnex_fix_quality", 4},
      {"tarnex_fix_satellites_used", 18},
      {"tarnex_fix_hdop", 0.6},
      {"tarnex_share_clients", 7},
      {"tarnex_share_keys_forwarded_total", 42},
      {"tarnex_share_keys_refused_total", 2},
      {"tarnex_share_clients_dropped_total", 1},
  };
  for (const auto& [key, value] : expected) EXPECT_DOUBLE_EQ(Sample(text, key), value) << key;
  EXPECT_TRUE(Typed(text, "tarnex_items_total", "counter"));
  EXPECT_TRUE(Typed(text, "tarnex_file_size_bytes", "gauge"));
  EXPECT_TRUE(Typed(text, "tarnex_share_clients", "gauge"));
  EXPECT_TRUE(Typed(text, "tarnex_share_clients_dropped_total", "counter"));

  // Before the receiver is known, with no sentences and no free space told: nothing made up.
  MetricsView empty;
  ASSERT_GT(MetricsText(empty, text, sizeof text), 0);
  for (const char* absent :
       {"\ntarnex_receiver_info", "\ntarnex_free_bytes ", "tarnex_fix", "tarnex_share"})
    EXPECT_EQ(std::string(text).find(absent), std::string::npos) << absent;
  EXPECT_EQ(Sample(text, "tarnex_connected"), 0);
  EXPECT_EQ(MetricsText(view, text, 200), -1) << "a text that does not fit is not served cut";
}

// Bytes that are not UTF-8 in a receiver's name or a device's (a line's noise, a name in
// another code page) cannot spoil the whole scrape: Prometheus's own checker takes it.
TEST(LogMetrics, LabelsAreValidUtf8WhateverTheReceiverSays) {
  const struct {
    const char* product;
    const char* label;
  } names[] = {
      {"MOR\xFFWICK", "MOR\xEF\xBF\xBDWICK"},
      {"M\xC3\xB6rwick", "M\xC3\xB6rwick"},                      // ö stays
      {"\xC0\xAFX", "\xEF\xBF\xBD\xEF\xBF\xBDX"},                // an overlong '/'
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
      {"\xE2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // cut short
      {"\xF0\x9F\x9B\xB0", "\xF0\x9F\x9B\xB0"},                  // a satellite
  };
  for (const auto& name : names) {
    MetricsView view;
    view.product = name.product;
    view.device = "/dev/ttyUSB0";
    char text[8192];
    ASSERT_GT(MetricsText(view, text, sizeof text), 0);
    std::string expected = std::string("tarnex_receiver_info{product=\"") + name.label + "\"";
    EXPECT_NE(std::string(text).find(expected), std::string::npos) << name.label;
    if (std::system("command -v promtool >/dev/null") != 0) continue;
    FILE* check = popen("promtool check metrics >/dev/null 2>&1", "w");
    ASSERT_NE(check, nullptr);
    std::fputs(text, check);
    EXPECT_EQ(pclose(check), 0) << "promtool check metrics refused:\n" << text;
  }
  if (std::system("command -v promtool >/dev/null") != 0)
    std::printf("promtool is missing (Debian: prometheus): the text was not checked by it\n");
}

TEST(LogFreeSpace, LowIsSaidOnceAndItsEndOnlyWithAMargin) {
  FreeSpaceWatch watch;
  watch.minFree = 1000;
  const struct {
    long long free;
    int news;
  } steps[] = {{2000, kFreeSpaceSame}, {999, kFreeSpaceLow}, {500, kFreeSpaceSame},
               {1020, kFreeSpaceSame}, {-1, kFreeSpaceSame}, {1050, kFreeSpaceRecovered},
               {1001, kFreeSpaceSame}, {990, kFreeSpaceLow}};
  for (const auto& step : steps) EXPECT_EQ(NoteFreeSpace(watch, step.free), step.news) << step.free;
  FreeSpaceWatch measuring;  // no --min-free: only measured
  EXPECT_EQ(NoteFreeSpace(measuring, 1), kFreeSpaceSame);
  EXPECT_EQ(measuring.freeBytes, 1);
  std::error_code error;
  ScratchDir scratch;
  EXPECT_GT(FolderFreeBytes(scratch.Str().c_str(), error), 0);
  EXPECT_EQ(FolderFreeBytes((scratch / "gone").c_str(), error), -1);
  EXPECT_EQ(error, std::errc::no_such_file_or_directory);
}

TEST(LogServiceNotify, TheWatchdogIsPingedOnlyWhileTheWorkerIsResponsive) {
  const struct {
    bool busy;
    Tick since, now;
    bool responsive;
  } workers[] = {
      {false, 0, 900000, true},  // waiting for a silent line is not hanging
      {true, 1000, 2000, true},
      {true, 1000, 3001, false},
      {true, (Tick(1) << 32) - 100, (Tick(1) << 32) + 1900, true},  // past 32 bits
      {true, (Tick(1) << 32) - 100, (Tick(1) << 32) + 1901, false},
  };
  for (const auto& w : workers)
    EXPECT_EQ(WorkerResponsive(w.busy, w.since, w.now, 2000), w.responsive) << w.now;
  // A manager that refuses notices is said to once in ten minutes, and its taking them again.
  ServiceNotify busy;
  const struct {
    int refused;
    Tick now;
    int news;
  } steps[] = {{0, 1000, 0}, {EAGAIN, 2000, 1}, {EAGAIN, 3000, 0},          {0, 4000, -1},
               {0, 5000, 0}, {EAGAIN, 6000, 0}, {EAGAIN, 2000 + 600000, 1}, {0, 700000, -1}};
  for (const auto& step : steps) {
    busy.refused = step.refused;
    EXPECT_EQ(NoticeNews(busy, step.now), step.news) << step.now;
  }
  ServiceNotify notify;
  EXPECT_EQ(MsUntilWatchdog(notify, 5), -1) << "no WatchdogSec=";
  notify.watchdogMs = 4000;
  notify.watchdogDue = 1000;
  EXPECT_EQ(MsUntilWatchdog(notify, 400), 600);
  KeepWatchdog(notify, 1000, true);
  EXPECT_EQ(MsUntilWatchdog(notify, 1000), 2000) << "pinged: the next at half its time";
  KeepWatchdog(notify, 3000, false);
  EXPECT_EQ(MsUntilWatchdog(notify, 3000), 250) << "hung: no ping, a look again soon";
}

// A datagram socket standing for systemd's.
struct NotifySocket {
  int fd = -1;
  std::string path;
  explicit NotifySocket(std::string at) : path(std::move(at)) {
    fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) fd = -1;
  }
  ~NotifySocket() {
    if (fd >= 0) close(fd);
  }
  // Every message that has come, in order.
  void Take(std::vector<std::string>& messages) {
    char buffer[1024];
    ssize_t n;
    while ((n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
      messages.emplace_back(buffer, n);
  }
};

int CountOf(const std::vector<std::string>& messages, const std::string& prefix) {
  int count = 0;
  for (const std::string& message : messages) count += message.rfind(prefix, 0) == 0;
  return count;
}

// A logger with its metrics as systemd runs it, with a watchdog of 0.4 s, telling `systemd`.
bool StartAsService(LoggedReceiver& logged, const NotifySocket& systemd) {
  logged.run.environment = {{"NOTIFY_SOCKET", systemd.path}, {"WATCHDOG_USEC", "400000"}};
  return systemd.fd >= 0 && logged.Start({"--metrics", "0"}, 10);
}

long ResidentKilobytes(pid_t pid) {
  std::string status = FileText("/proc/" + std::to_string(pid) + "/status");
  size_t at = status.find("VmRSS:");
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

// Clients that misbehave on the metrics port, one after the other and all at once, and a
// service manager too busy to read its notices (the test's socket, never read, stands for
// it): none can make the logger grow, keep a scrape from being answered, or hold up its
// stop; the refused notices are said once.
TEST(TarnexLogService, NoMetricsClientCanBlindTheMonitorOrHoldTheLogger) {
  LoggedReceiver logged;
  LogRun& run = logged.run;
  NotifySocket busy(run.dir + "/notify");
  ASSERT_TRUE(StartAsService(logged, busy)) << std::strerror(errno) << run.Output();
  int port = logged.Port("serving metrics");
  ASSERT_GT(port, 0) << run.Output();
  std::string body;
  // Connected first (slow under the sanitizers): a missing sample reads as NaN, not as 1.
  ASSERT_TRUE(WaitUntil(
      [&] {
        return HttpGet(port, "/metrics", body) == 200 && Sample(body, "tarnex_connected") == 1;
      },
      15000))
      << run.Output();
  long before = ResidentKilobytes(run.pid);

  // A request line that never ends, and a request with endless headers: cut off once the
  // head passes its bound, with the memory it took.
  const std::string floods[] = {"GET /" + std::string(1 << 16, 'a'), "GET /metrics HTTP/1.1\r\n"};
  for (const std::string& start : floods) {
    LoopbackClient flood(port);
    bool sending = flood.Send(start);
    for (int i = 0; sending && i < 20000; ++i) sending = flood.Send("X-Tarnex: y\r\n");
    flood.Receive(3000);
    EXPECT_TRUE(!sending || flood.closedByServer) << start.substr(0, 30);
  }
  EXPECT_LT(ResidentKilobytes(run.pid), before + 16 * 1024) << "bounded, where it took 300 MB";

  // One client a byte at a time and ten that say nothing, beside a scrape: the scrape is
  // answered at once, and the slow one is cut off once its request has had its time.
  LoopbackClient slow(port);
  std::vector<std::unique_ptr<LoopbackClient>> idle;
  for (int i = 0; i < 10; ++i) idle.push_back(std::make_unique<LoopbackClient>(port));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(HttpGet(port, "/metrics", body, 2000), 200) << "a scrape beside them";
  EXPECT_EQ(Sample(body, "tarnex_connected"), 1) << run.Output();
  const char request[] = "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n";
  for (size_t i = 0; i + 1 < sizeof request && !slow.closedByServer; ++i) {
    slow.Send(std::string(1, request[i]));
    slow.Receive(500);
  }
  EXPECT_TRUE(slow.closedByServer) << "a byte each half second does not stretch the request";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
  // More clients holding connections than it serves at once: the newest is served.
  for (int i = 0; i < 30; ++i) idle.push_back(std::make_unique<LoopbackClient>(port));
  EXPECT_EQ(HttpGet(port, "/metrics", body, 2000), 200) << "a scrape after a crowd";

  // SIGTERM while clients hold connections: stopped at once, not when they give up.
  std::vector<std::unique_ptr<LoopbackClient>> holding;
  for (int i = 0; i < 10; ++i) {
    holding.push_back(std::make_unique<LoopbackClient>(port));
    holding.back()->Send("GET /metr");
  }
  auto stopping = std::chrono::steady_clock::now();
  EXPECT_EQ(run.Signal(SIGTERM), 0) << run.Output();
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(3));
  EXPECT_TRUE(run.Said("systemd does not take this service's notices (")) << run.Output();
  EXPECT_EQ(Occurrences(run.Output(), "systemd does not take"), 1u) << "once";
}

TEST(TarnexLogService, ToldSystemdAndServedItsMetricsWhileLogging) {
  LoggedReceiver logged;
  LogRun& run = logged.run;
  NotifySocket systemd(run.dir + "/notify");
  ASSERT_TRUE(StartAsService(logged, systemd)) << std::strerror(errno) << run.Output();
  std::vector<std::string> messages;
  EXPECT_TRUE(WaitUntil(
      [&] {
        systemd.Take(messages);
        return CountOf(messages, "READY=1") == 1 && CountOf(messages, "STATUS=logging MORWICK") &&
               CountOf(messages, "WATCHDOG=1") >= 3;
      },
      10000))
      << run.Output();
  int port = logged.Port("serving metrics");
  ASSERT_GT(port, 0) << run.Output();
  std::string scrape;
  EXPECT_TRUE(WaitUntil(
      [&] {
        return HttpGet(port, "/metrics", scrape) == 200 &&
               Sample(scrape, R"(tarnex_items_total{stream="nmea"})") > 0;
      },
      5000));
  EXPECT_EQ(Sample(scrape, "tarnex_connected"), 1);
  EXPECT_EQ(
      Sample(scrape, R"(tarnex_receiver_info{product="MORWICK",firmware="2.10",device=")" +
                         std::string(FakeReceiverPath(logged.receiver)) + R"(",baud="38400"})"),
      1);
  std::string body;
  EXPECT_EQ(HttpGet(port, "/", body), 404);
  EXPECT_EQ(run.Signal(SIGTERM), 0);
  systemd.Take(messages);
  EXPECT_EQ(messages.back(), "STOPPING=1");
}

// A copy of the program without its metrics module beside it, as after a broken install.
TEST(TarnexLogService, AMissingMetricsModuleIsSaidAndTheStartRefused) {
  LogRun run;
  std::string copy = run.dir + "/tarnex-log";
  std::filesystem::copy_file(run.program, copy);
  run.program = copy;
  run.Start({"-D", "/dev/null", "-o", run.dir, "--metrics", "0"});
  EXPECT_EQ(run.Wait(), 1);
  EXPECT_TRUE(run.Said("cannot serve metrics: ")) << run.Output();
  EXPECT_TRUE(run.Said("(reinstall tarnex to bring back libtarnex-metrics.so)")) << run.Output();
}

}  // namespace
