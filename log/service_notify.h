// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "base/tick.h"

// Telling systemd how the service is (Type=notify): READY once logging runs, a one-line
// STATUS, and the watchdog's ping while the logger works. Without systemd (no
// NOTIFY_SOCKET), and on Windows, every call does nothing.

struct ServiceNotify {
  bool enabled = false;  // NOTIFY_SOCKET is set
  Tick watchdogMs = 0;   // WatchdogSec=; 0: no watchdog
  Tick watchdogDue = 0;  // tick of the next ping, or of the next look at a hung worker
  bool ready = false;
  char status[400] = {};  // the status last sent
};

void StartServiceNotify(ServiceNotify& notify, Tick now);

// READY=1, once.
void NotifyReady(ServiceNotify& notify);

// STATUS=<line>, when it differs from the last one sent.
void NotifyStatus(ServiceNotify& notify, const char* line);

void NotifyStopping(ServiceNotify& notify);

// The watchdog is pinged at half its time, as systemd advises. -1: no watchdog.
int MsUntilWatchdog(const ServiceNotify& notify, Tick now);

// Pings when due, unless the worker is hung: then the pings stop (it is looked at again
// a little later) and systemd restarts the service once its watchdog time has passed.
void KeepWatchdog(ServiceNotify& notify, Tick now, bool workerResponsive);

// A worker is hung when it has been busy with one read (writing it to disk, say) for longer
// than `limitMs`; waiting for the receiver, however long, is not hanging.
bool WorkerResponsive(bool busy, Tick busySince, Tick now, Tick limitMs);

// The platform's side (service_notice_*.cpp): whether a service manager listens, its
// watchdog time in microseconds (0: none), and one message to it.
bool ServiceManagerListens();
uint64_t ServiceWatchdogUs();
void SendServiceNotice(const char* message);
