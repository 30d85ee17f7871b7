// SPDX-License-Identifier: BSD-2-Clause
// tarnex-log's side of the browser panel: its options, and the state it hands the page.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "log/log_options.h"
#include "log/web_status.h"

namespace {

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

}  // namespace
