// SPDX-License-Identifier: BSD-2-Clause
#include "log/service_notify.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr Tick kHungWorkerLookMs = 250;
constexpr Tick kRefusalSaidEveryMs = 10 * 60 * 1000;

// Without a manager there is nobody to refuse it.
bool Send(ServiceNotify& notify, const char* message) {
  notify.refused = notify.enabled ? SendServiceNotice(message) : 0;
  return notify.refused == 0;
}

}  // namespace

void StartServiceNotify(ServiceNotify& notify, Tick now) {
  notify.enabled = ServiceManagerListens();
  uint64_t watchdogUs = notify.enabled ? ServiceWatchdogUs() : 0;
  if (watchdogUs >= 2000) notify.watchdogMs = static_cast<Tick>(watchdogUs / 1000);
  notify.watchdogDue = now;
}

void NotifyReady(ServiceNotify& notify) {
  notify.readyDue = true;
  if (notify.enabled && !notify.ready) notify.ready = Send(notify, "READY=1");
}

void NotifyStatus(ServiceNotify& notify, const char* line) {
  if (!notify.enabled || std::strncmp(notify.status, line, sizeof notify.status - 1) == 0) return;
  char message[sizeof notify.status + 8];
  std::snprintf(message, sizeof message, "STATUS=%.*s", static_cast<int>(sizeof notify.status - 1),
                line);
  if (Send(notify, message)) std::snprintf(notify.status, sizeof notify.status, "%s", line);
}

void NotifyStopping(ServiceNotify& notify) {
  if (notify.enabled) Send(notify, "STOPPING=1");
}

int MsUntilWatchdog(const ServiceNotify& notify, Tick now) {
  if (notify.watchdogMs == 0) return -1;
  return MsUntil(notify.watchdogDue, now);
}

void KeepWatchdog(ServiceNotify& notify, Tick now, bool workerResponsive) {
  if (notify.readyDue && !notify.ready) NotifyReady(notify);
  if (MsUntilWatchdog(notify, now) != 0) return;
  if (!workerResponsive) {
    notify.watchdogDue = now + kHungWorkerLookMs;
    return;
  }
  bool taken = Send(notify, "WATCHDOG=1");
  notify.watchdogDue = now + (taken ? notify.watchdogMs / 2 : kHungWorkerLookMs);
}

int NoticeNews(ServiceNotify& notify, Tick now) {
  bool refused = notify.refused != 0;
  if (refused == notify.refusedSaid) return 0;
  if (refused && notify.refusalSaidAt != 0 && now - notify.refusalSaidAt < kRefusalSaidEveryMs)
    return 0;
  notify.refusedSaid = refused;
  if (refused) notify.refusalSaidAt = now;
  return refused ? 1 : -1;
}

bool WorkerResponsive(bool busy, Tick busySince, Tick now, Tick limitMs) {
  return !busy || now - busySince <= limitMs;
}
