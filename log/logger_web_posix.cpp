// SPDX-License-Identifier: BSD-2-Clause
// tarnex-log's browser panel: the users read, the server of the HTTP module started on the
// share hub, and the logger's state handed to it once a second.

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "log/logger.h"
#include "log/web_status.h"

namespace {

void SayWebEvent(void* context, const char* text, bool failure) {
  PrintEvent(static_cast<Logger*>(context)->output, text, failure);
}

bool LoadUsers(Logger& logger, char* error, int errorSize) {
  const char* path = logger.options.webUsers;
  if (path[0] == '\0') return true;
  logger.webUsers = std::make_unique<WebUsers>();
  if (!StartPasswordLibrary()) {
    std::snprintf(error, static_cast<size_t>(errorSize), "libsodium could not start");
    return false;
  }
  return LoadWebUsers(path, *logger.webUsers, error, errorSize);
}

const char* StateName(const Logger& logger) {
  if (IsConnected(logger.connection)) return "connected";
  return logger.everConnected ? "lost" : "waiting";
}

}  // namespace

bool StartWeb(Logger& logger) {
  const LogOptions& options = logger.options;
  if (options.webPort < 0) return true;
  char error[600];
  int port = 0;
  bool started = LoadUsers(logger, error, sizeof error);
  if (started) logger.webApi = LoadWebModule(error, sizeof error);
  if (started && logger.webApi != nullptr) {
    WebServerSettings settings;
    settings.host = options.webHost;
    settings.port = options.webPort;
    settings.hub = logger.share.get();
    settings.users = logger.webUsers.get();
    if (options.tlsCertificate[0] != '\0') {
      settings.tlsCertificate = options.tlsCertificate;
      settings.tlsKey = options.tlsKey;
    }
    settings.context = &logger;
    settings.say = SayWebEvent;
    logger.web = logger.webApi->start(&settings, &port, error, sizeof error);
  }
  if (logger.web == nullptr) {
    std::fprintf(stderr, "tarnex-log: %s\n", error);
    return false;
  }
  const char* host = options.webHost;
  bool six = std::strchr(host, ':') != nullptr;
  char text[300];
  std::snprintf(text, sizeof text, "serving the panel at %s://%s%s%s:%d/%s",
                options.tlsCertificate[0] != '\0' ? "https" : "http", six ? "[" : "", host,
                six ? "]" : "", port, logger.webUsers ? "" : " (no login: loopback only)");
  PrintEvent(logger.output, text, false);
  return true;
}

void StopWeb(Logger& logger) {
  if (logger.web == nullptr) return;
  logger.webApi->stop(logger.web);
  logger.web = nullptr;
}

void PublishWebStatus(Logger& logger, Tick now) {
  WebStatusView view;
  view.metrics = CurrentMetrics(logger, now);
  view.state = StateName(logger);
  view.fix = &logger.lastFix;
  view.fixFresh = logger.fixFresh;
  int length = WebStatusJson(view, logger.webStatusText, sizeof logger.webStatusText);
  if (length > 0) logger.webApi->publish(logger.web, logger.webStatusText, length);
}

int PrintPasswordHash() {
  std::string password;
  if (!std::getline(std::cin, password) || password.empty()) {
    std::fprintf(stderr, "tarnex-log: give the password on standard input, on one line\n");
    return 2;
  }
  char hash[kPasswordHashSize];
  bool made = StartPasswordLibrary() && password.size() <= kMaxPasswordLength &&
              HashPassword(password.c_str(), hash);
  if (!made) {
    std::fprintf(stderr,
                 "tarnex-log: cannot hash the password (at most %d characters; it "
                 "needs 64 MB of memory)\n",
                 kMaxPasswordLength);
    return 1;
  }
  std::printf("%s\n", hash);
  return 0;
}
