// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <memory>

#include "base/tick.h"
#include "capture/split_retention.h"
#include "connection/connection.h"
#include "fix/fix_state.h"
#include "log/free_space.h"
#include "log/log_options.h"
#include "log/log_output.h"
#include "log/metrics_module.h"
#include "log/metrics_text.h"
#include "log/service_notify.h"
#include "log/status_filter.h"
#include "log/web_status.h"
#include "log/worker_news.h"
#include "recorder/recording.h"
#include "share/share_server.h"
#include "web/web_server.h"
#include "web/web_users.h"

// tarnex-log's state for its run, owned by its main thread, and the periodic work of its
// main loop (logger_tasks.cpp) with what it shows (logger_views.cpp).

struct Logger;

// The main loop's periodic work: each task with its period, run when due; the loop sleeps
// until the soonest of them (or of a reconnect, the watchdog, the end).
struct PeriodicTask {
  Tick periodMs;
  bool (*wanted)(const Logger& logger);
  void (*run)(Logger& logger, Tick now);
};

enum TaskId {
  kFixTask,
  kSilenceTask,
  kPruneTask,
  kFreeSpaceTask,
  kMetricsTask,
  kRecordingTask,
  kLiveLineTask,
  kWebTask,
  kTaskCount,
};

struct Logger {
  LogOptions options;
  std::unique_ptr<Recorder> recorder;  // with --record
  Connection connection;
  WorkerNews news;
  Output output;
  StatusFilter status;
  char product[64] = "";
  char firmware[32] = "";
  int everConnected = 0;
  int reconnects = 0;
  Tick connectedTick = 0;  // the silence watch counts from the connect
  int exitCode = 0;
  char fix[64] = "";       // the fix's summary, for the status line
  char fixClass[48] = "";  // the class last said in an event line; "": none yet
  FixState lastFix;        // for the metrics and retention
  bool fixFresh = false;   // it speaks of now
  Tick startTick = 0;
  Tick lastRun[kTaskCount] = {};
  Retention retention;
  FreeSpaceWatch freeSpace;
  ServiceNotify notify;
  const MetricsServerApi* metricsApi = nullptr;
  MetricsServer* metrics = nullptr;    // --metrics: the server, while it runs
  char metricsText[kMetricsTextSize];  // rendered here once a second, copied by the server
  std::unique_ptr<ShareHub> share;     // --share, --nmea-out
  ShareServer* shareServer = nullptr;
  unsigned sharedAttempt = 0;  // the connect the hub was told of; 0: it has no receiver
  const WebServerApi* webApi = nullptr;
  WebServer* web = nullptr;            // --web: the server, while it runs
  char webStatusText[kWebStatusSize];  // rendered here once a second, copied by the server
  std::unique_ptr<WebUsers> webUsers;
};

// The tasks' first runs: now, but --keep after a wait of its own.
void ScheduleTasks(Logger& logger, Tick now);
void RunDueTasks(Logger& logger, Tick now);
// How long the main thread may sleep: until the next task, reconnect, watchdog or the end
// (`end` counts only with --for).
int NextWakeMs(const Logger& logger, const Deadline& end, Tick now);
// The watchdog is kept alive while the worker is.
void FeedWatchdog(Logger& logger, Tick now);
// Retention's words, into the journal.
void SayRetention(void* context, const char* text, bool failure);

// --share and --nmea-out (logger_share.cpp): the server started and said, before the
// first connect; false when it could not be (said).
bool StartSharing(Logger& logger);
// The hub told whether the receiver is there, and what clients sent it written to it.
void ServeSharing(Logger& logger);
// After the worker has ended.
void StopSharing(Logger& logger);

// --web (logger_web_posix.cpp; not on Windows): the server started and said, once the hub
// is there; false when it could not be (said).
bool StartWeb(Logger& logger);
// After the worker has ended, before the hub goes.
void StopWeb(Logger& logger);
// The state the browsers see, handed to the server.
void PublishWebStatus(Logger& logger, Tick now);
// --hash-password: a password from standard input, its hash to standard output; the exit
// status.
int PrintPasswordHash();

// The status line (and systemd's status) as things stand.
void ShowState(Logger& logger, Tick now);
// The metrics text rendered once more and handed to the server.
void PublishMetrics(Logger& logger, Tick now);
MetricsView CurrentMetrics(const Logger& logger, Tick now);
