// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "base/tick.h"

// Telling systemd how the service is (Type=notify): READY once logging runs, a one-line
// STATUS, and the watchdog's ping while the logger works. Without systemd (no
// NOTIFY_SOCKET), and on Windows, every call does nothing.

struct ServiceNotify {
  bool enabled = false;   // NOTIFY_SOCKET is set
  Tick watchdogMs = 0;    // WatchdogSec=; 0: no watchdog
  Tick watchdogDue = 0;   // tick of the next ping, or of the next look at a hung worker
  bool readyDue = false;  // READY=1 is to go, and goes again until the manager takes it
  bool ready = false;     // the manager has taken it
  int refused = 0;        // why the manager did not take the last notice (errno), or 0
  bool refusedSaid = false;
  Tick refusalSaidAt = 0;  // when a refusal was last said (0: never)
  char status[400] = {};   // the status last taken
};

void StartServiceNotify(ServiceNotify& notify, Tick now);

// READY=1, once the manager has taken it.
void NotifyReady(ServiceNotify& notify);

// STATUS=<line>, when it differs from the last one taken.
void NotifyStatus(ServiceNotify& notify, const char* line);

void NotifyStopping(ServiceNotify& notify);

// The watchdog is pinged at half its time, as systemd advises. -1: no watchdog.
int MsUntilWatchdog(const ServiceNotify& notify, Tick now);

// Pings when due, unless the worker is hung: then the pings stop (it is looked at again
// a little later) and systemd restarts the service once its watchdog time has passed.
// A READY=1 that the manager has not taken yet goes again, and so does a ping, soon.
void KeepWatchdog(ServiceNotify& notify, Tick now, bool workerResponsive);

// +1 when the manager has begun to refuse notices, -1 when it takes them again, else 0:
// each change is said once, and a new refusal no sooner than ten minutes after the last
// (a manager that reads slowly takes some and refuses others).
int NoticeNews(ServiceNotify& notify, Tick now);

// A worker is hung when it has been busy with one read (writing it to disk, say) for longer
// than `limitMs`; waiting for the receiver, however long, is not hanging.
bool WorkerResponsive(bool busy, Tick busySince, Tick now, Tick limitMs);

// The platform's side (service_notice_*.cpp): whether a service manager listens, its
// watchdog time in microseconds (0: none), and one message to it, never waited for: 0, or
// the errno when the manager did not take it (EAGAIN: it is too busy to read, and its
// queue is full). The main loop, which keeps the receiver and the clients served, goes on.
bool ServiceManagerListens();
uint64_t ServiceWatchdogUs();
int SendServiceNotice(const char* message);
