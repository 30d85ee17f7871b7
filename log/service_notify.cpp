// SPDX-License-Identifier: BSD-2-Clause
#include "log/service_notify.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr Tick kHungWorkerLookMs = 250;
}  // namespace

void StartServiceNotify(ServiceNotify& notify, Tick now) {
  notify.enabled = ServiceManagerListens();
  uint64_t watchdogUs = notify.enabled ? ServiceWatchdogUs() : 0;
  if (watchdogUs >= 2000) notify.watchdogMs = static_cast<Tick>(watchdogUs / 1000);
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

int MsUntilWatchdog(const ServiceNotify& notify, Tick now) {
  if (notify.watchdogMs == 0) return -1;
  return MsUntil(notify.watchdogDue, now);
}

void KeepWatchdog(ServiceNotify& notify, Tick now, bool workerResponsive) {
  if (MsUntilWatchdog(notify, now) != 0) return;
  if (!workerResponsive) {
    notify.watchdogDue = now + kHungWorkerLookMs;
    return;
  }
  notify.watchdogDue = now + notify.watchdogMs / 2;
  SendServiceNotice("WATCHDOG=1");
}

bool WorkerResponsive(bool busy, Tick busySince, Tick now, Tick limitMs) {
  return !busy || now - busySince <= limitMs;
}
