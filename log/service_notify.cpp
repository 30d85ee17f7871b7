// SPDX-License-Identifier: BSD-2-Clause
#include "log/service_notify.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr uint32_t kHungWorkerLookMs = 250;
}  // namespace

void StartServiceNotify(ServiceNotify& notify, uint32_t now) {
  notify.enabled = ServiceManagerListens();
  uint64_t watchdogUs = notify.enabled ? ServiceWatchdogUs() : 0;
  if (watchdogUs >= 2000) notify.watchdogMs = static_cast<uint32_t>(watchdogUs / 1000);
  notify.watchdogDue = now;
}

void NotifyReady(ServiceNotify& notify) {
  if (!notify.enabled || notify.ready) return;
  notify.ready = true;
  SendServiceNotice("READY=1");
}

void NotifyStatus(ServiceNotify& notify, const char* line) {
  if (!notify.enabled || std::strncmp(notify.status, line, sizeof notify.status - 1) == 0) return;
  std::snprintf(notify.status, sizeof notify.status, "%s", line);
  char message[sizeof notify.status + 8];
  std::snprintf(message, sizeof message, "STATUS=%s", notify.status);
  SendServiceNotice(message);
}

void NotifyStopping(ServiceNotify& notify) {
  if (notify.enabled) SendServiceNotice("STOPPING=1");
}

int MsUntilWatchdog(const ServiceNotify& notify, uint32_t now) {
  if (notify.watchdogMs == 0) return -1;
  int32_t left = static_cast<int32_t>(notify.watchdogDue - now);
  return left > 0 ? left : 0;
}

void KeepWatchdog(ServiceNotify& notify, uint32_t now, bool workerResponsive) {
  if (MsUntilWatchdog(notify, now) != 0) return;
  if (!workerResponsive) {
    notify.watchdogDue = now + kHungWorkerLookMs;
    return;
  }
  notify.watchdogDue = now + notify.watchdogMs / 2;
  SendServiceNotice("WATCHDOG=1");
}

bool WorkerResponsive(bool busy, uint32_t busySince, uint32_t now, uint32_t limitMs) {
  return !busy || now - busySince <= limitMs;
}
