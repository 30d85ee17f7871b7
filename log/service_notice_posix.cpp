// SPDX-License-Identifier: BSD-2-Clause
// Notices to systemd through libsystemd; NOTIFY_SOCKET says whether it listens.
#include <systemd/sd-daemon.h>

#include <cstdlib>

#include "log/service_notify.h"

bool ServiceManagerListens() {
  return std::getenv("NOTIFY_SOCKET") != nullptr;
}

uint64_t ServiceWatchdogUs() {
  uint64_t watchdogUs = 0;
  return sd_watchdog_enabled(0, &watchdogUs) > 0 ? watchdogUs : 0;
}

void SendServiceNotice(const char* message) {
  sd_notify(0, message);
}
