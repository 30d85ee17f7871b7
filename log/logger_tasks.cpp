// SPDX-License-Identifier: BSD-2-Clause
// tarnex-log's periodic work: the fix, the silence watch, retention, free space, the
// metrics, the recording's drain and the live line, each with its period, run when due.

#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>

#include "base/byte_count_text.h"
#include "log/log_system.h"
#include "log/logger.h"

namespace {

// --keep's first look waits a little, so that the receiver's own time can speak for or
// against the system clock before anything is deleted.
constexpr Tick kFirstPruneAfterMs = 120000;
constexpr Tick kReceiverTimeFreshMs = 10000;

// The fix from the receiver's sentences: its summary for the status line, and an event
// line whenever its quality changes, so that a journal says when a fix was lost or won.
// The fix is a statement about now: with no sentence for a few seconds, or the receiver
// lost, it is "no fix data", never the last fix shown as if current.
void FollowFix(Logger& logger, Tick now) {
  FixState fix = CopySharedFix(logger.connection.capture->fix, now);
  if (fix.generation != logger.lastFix.generation) logger.fixClass[0] = '\0';  // another receiver
  logger.lastFix = fix;
  logger.fixFresh = IsConnected(logger.connection) && FixFresh(fix, now);
  if (fix.sentences == 0) {
    logger.fix[0] = '\0';
    return;
  }
  FixSummaryText(fix, now, IsConnected(logger.connection), logger.fix, sizeof logger.fix);
  char name[48];
  const char* heard = logger.fixFresh ? FixClassName(fix, name, sizeof name) : "no fix data";
  if (std::strcmp(heard, logger.fixClass) == 0) return;
  char text[160];
  const char* word = logger.fixFresh ? "fix " : "";  // "no fix data" says it alone
  if (logger.fixClass[0] == '\0') {
    std::snprintf(text, sizeof text, "%s%s", word, heard);
  } else {
    std::snprintf(text, sizeof text, "%s%s (was %s)", word, heard, logger.fixClass);
  }
  std::snprintf(logger.fixClass, sizeof logger.fixClass, "%s", heard);
  PrintEvent(logger.output, text, false);
}

// A line that had been sending and has been silent for --silence.
void WatchSilence(Logger& logger, Tick now) {
  const Capture& capture = *logger.connection.capture;
  if (!IsConnected(logger.connection) || !capture.anyByte) return;
  Tick limit = logger.options.silenceSeconds * 1000;
  if (!LineSilent(capture.lastByteTick, logger.connectedTick, now, limit)) return;
  char text[kLogPathSize + 120];
  std::snprintf(text, sizeof text,
                "nothing came from the receiver on %s for %lld s; taking it as lost and "
                "reconnecting",
                logger.options.device, static_cast<long long>(logger.options.silenceSeconds));
  PrintEvent(logger.output, text, true);
  MarkLost(logger.connection, now, std::time(nullptr));
}

// --keep: the split files older than that go, once a minute, by clocks it can trust.
void PruneOldFiles(Logger& logger, Tick now) {
  RetentionClock clock;
  clock.wall = std::time(nullptr);
  clock.tick = now;
  clock.receiverKnown = ReceiverUtcAt(logger.lastFix, now, kReceiverTimeFreshMs, clock.receiverUtc);
  clock.systemSynchronized = ClockSynchronized();
  PruneSplitFiles(logger.retention, clock);
}

// --min-free and the metrics: the folder's free space, looked at every few seconds. A
// fall below --min-free is said once, and its end once.
void WatchFreeSpace(Logger& logger, Tick) {
  FreeSpaceWatch& watch = logger.freeSpace;
  const char* folder = logger.options.directory[0] != '\0' ? logger.options.directory : ".";
  std::error_code error;
  long long free = FolderFreeBytes(logger.options.directory, error);
  char text[kLogPathSize + 200];
  if (error && error != watch.lastError) {
    std::snprintf(text, sizeof text, "cannot tell the free space of %s: %s", folder,
                  error.message().c_str());
    PrintEvent(logger.output, text, true);
  }
  watch.lastError = error;
  int news = NoteFreeSpace(watch, free);
  if (news == kFreeSpaceSame) return;
  char amount[24], least[24];
  ByteCountText(static_cast<unsigned long long>(free), amount, sizeof amount);
  ByteCountText(watch.minFree, least, sizeof least);
  if (news == kFreeSpaceLow) {
    std::snprintf(text, sizeof text,
                  "only %s free for the dump files in %s (--min-free %s): make room before "
                  "the disk fills",
                  amount, folder, least);
  } else {
    std::snprintf(text, sizeof text, "%s free again in %s", amount, folder);
  }
  PrintEvent(logger.output, text, news == kFreeSpaceLow);
}

void DrainTheRecording(Logger& logger, Tick) {
  DrainRecording(*logger.recorder);
}

void Nothing(Logger&, Tick) {}  // a wake-up alone: the status line shows ages that grow

bool Always(const Logger&) {
  return true;
}
bool WatchingSilence(const Logger& logger) {
  return logger.options.silenceSeconds > 0 && IsConnected(logger.connection);
}
bool Keeping(const Logger& logger) {
  return logger.options.keepSeconds > 0;
}
bool WatchingFreeSpace(const Logger& logger) {
  return logger.options.minFree > 0 || logger.metrics != nullptr || logger.web != nullptr;
}
bool Serving(const Logger& logger) {
  return logger.metrics != nullptr;
}
bool ServingBrowsers(const Logger& logger) {
  return logger.web != nullptr;
}
bool Recording(const Logger& logger) {
  return logger.recorder != nullptr;
}
bool ShowingLiveLine(const Logger& logger) {
  return logger.output.terminal && !logger.options.quiet;
}

// In the order of TaskId.
const PeriodicTask kTasks[kTaskCount] = {
    {1000, Always, FollowFix},  // a change of the fix reaches the journal within this
    {1000, WatchingSilence, WatchSilence},
    {60000, Keeping, PruneOldFiles},
    {10000, WatchingFreeSpace, WatchFreeSpace},
    {1000, Serving, PublishMetrics},  // a scrape sees the logger as it was this recently
    {200, Recording, DrainTheRecording},
    {1000, ShowingLiveLine, Nothing},
    {1000, ServingBrowsers, PublishWebStatus},  // the browsers see the logger this recently
};

}  // namespace

void SayRetention(void* context, const char* text, bool failure) {
  PrintEvent(static_cast<Logger*>(context)->output, text, failure);
}

// When each task runs first: now, but --keep after its first wait.
void ScheduleTasks(Logger& logger, Tick now) {
  for (int i = 0; i < kTaskCount; ++i) logger.lastRun[i] = now - kTasks[i].periodMs;
  logger.lastRun[kPruneTask] = now - kTasks[kPruneTask].periodMs + kFirstPruneAfterMs;
}

void RunDueTasks(Logger& logger, Tick now) {
  for (int i = 0; i < kTaskCount; ++i) {
    const PeriodicTask& task = kTasks[i];
    if (!task.wanted(logger) || now - logger.lastRun[i] < task.periodMs) continue;
    logger.lastRun[i] = now;
    task.run(logger, now);
  }
}

int NextWakeMs(const Logger& logger, const Deadline& end, Tick now) {
  int wait = -1;
  auto sooner = [&wait](int ms) {
    if (ms >= 0 && (wait < 0 || ms < wait)) wait = ms;
  };
  for (int i = 0; i < kTaskCount; ++i) {
    if (kTasks[i].wanted(logger)) sooner(MsUntil(logger.lastRun[i] + kTasks[i].periodMs, now));
  }
  sooner(MsUntilReconnect(logger.connection, now));
  if (logger.options.forSeconds > 0) sooner(MsUntil(end.at + 1, now));
  sooner(MsUntilWatchdog(logger.notify, now));
  return wait;
}

// The watchdog is kept alive while the worker is: waiting for the receiver, or busy with
// one read for less than half the watchdog's time.
void FeedWatchdog(Logger& logger, Tick now) {
  const ReceiveWorker& worker = logger.connection.worker;
  bool responsive = WorkerResponsive(worker.busy.load(), worker.busySince.load(), now,
                                     logger.notify.watchdogMs / 2);
  KeepWatchdog(logger.notify, now, responsive);
  int news = NoticeNews(logger.notify, now);
  if (news > 0) {
    char text[300];
    std::snprintf(text, sizeof text,
                  "systemd does not take this service's notices (%s); they go again until it "
                  "does, and logging goes on",
                  std::strerror(logger.notify.refused));
    PrintEvent(logger.output, text, true);
  }
  if (news < 0) PrintEvent(logger.output, "systemd takes this service's notices again", false);
}
