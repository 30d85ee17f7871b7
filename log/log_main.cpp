// SPDX-License-Identifier: BSD-2-Clause
// tarnex-log: unattended logging without a window. The connection module does the
// connecting, the link watch and the reconnects; this program owns it from its main
// thread, shows what happens and stops cleanly on SIGINT, SIGTERM (Ctrl+C or the
// console's close on Windows) or the end of --for.
// A closed terminal (SIGHUP) or a closed output (SIGPIPE) ends only the output.

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/byte_count_text.h"
#include "base/regular_file.h"
#include "base/status_message.h"
#include "base/tick.h"
#include "capture/dump_io.h"
#include "capture/dump_news.h"
#include "capture/earlier_file.h"
#include "capture/folder_lock.h"
#include "capture/split_retention.h"
#include "connection/connection.h"
#include "link/identification.h"
#include "log/free_space.h"
#include "log/log_options.h"
#include "log/log_output.h"
#include "log/log_report.h"
#include "log/log_system.h"
#include "log/metrics_module.h"
#include "log/metrics_text.h"
#include "log/port_check.h"
#include "log/service_notify.h"
#include "port/port.h"
#include "recorder/recording.h"

namespace {

const char* const kVersion = "tarnex-log " TARNEX_VERSION;
constexpr int kMetricsTextSize = 8192;
constexpr int kExitItemsLost = 3;
// --keep's first look waits a little, so that the receiver's own time can speak for or
// against the system clock before anything is deleted.
constexpr Tick kFirstPruneAfterMs = 120000;
constexpr Tick kReceiverTimeFreshMs = 10000;

// Set by the stop requests (signals, a console's Ctrl+C); the wake signal ends the main
// wait. Both lock-free: safe in a signal handler, and on the thread Windows calls from.
std::atomic<bool> stopRequested{false};
std::atomic<WakeSignal*> stopWake{nullptr};

void OnStopRequest() {
  stopRequested = true;
  WakeSignal* wake = stopWake.load();
  if (wake != nullptr) RaiseWakeSignal(*wake);
}

// News from the worker's thread, handed to the main thread.
struct Owner {
  std::mutex lock;
  std::vector<ConnectReport> reports;
  std::vector<unsigned> lineDowns;
  WakeSignal wake;
};

void OnConnectDone(void* context, const ConnectReport& report) {
  auto* owner = static_cast<Owner*>(context);
  std::lock_guard<std::mutex> hold(owner->lock);
  owner->reports.push_back(report);
  RaiseWakeSignal(owner->wake);
}

void OnLineDown(void* context, unsigned attempt) {
  auto* owner = static_cast<Owner*>(context);
  std::lock_guard<std::mutex> hold(owner->lock);
  owner->lineDowns.push_back(attempt);
  RaiseWakeSignal(owner->wake);
}

bool OnScreen(void*, unsigned) {
  return true;  // no screen is asked for; one that comes anyway is not logged
}

// What the status texts of the link, capture and connection reach the output through.
struct StatusFilter {
  Output* output = nullptr;
  std::thread::id mainThread;
  // While the worker identifies the receiver its failures are the cause that the connect's
  // own failure line repeats: said once there, not twice.
  std::atomic<bool> identifying{false};
};

// Failures, and the files kept under their dated names or closed; the progress of each
// connect attempt is not worth a journal line, and a bare read failure is said with the
// loss that it causes, in words that say what to do.
void StatusToOutput(const StatusEvent& event, void* context) {
  auto* filter = static_cast<StatusFilter*>(context);
  Output& output = *filter->output;
  bool fromWorker = std::this_thread::get_id() != filter->mainThread;
  if (event.kind == kStatusFailure) {
    if (fromWorker && filter->identifying) return;
    if (event.news == 0 && std::strcmp(event.text, kReadFailureText) == 0) return;
  }
  char text[2048];
  StatusEventText(event, text, sizeof text);
  if (event.kind == kStatusFailure) {
    {
      std::lock_guard<std::mutex> hold(output.lock);
      if (output.lastFailure == text) return;
      output.lastFailure = text;
    }
    PrintEvent(output, text, true);
  } else if (event.news == kDumpFileKept || event.news == kDumpFileClosed) {
    PrintEvent(output, text, false);
  }
}

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
  kTaskCount,
};

struct Logger {
  LogOptions options;
  std::unique_ptr<Recorder> recorder;  // with --record
  Connection connection;
  Owner owner;
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
};

void Connect(Logger& logger) {
  logger.status.identifying = true;
  BeginConnect(logger.connection, logger.options.device, TickCount());
  if (!Connecting(logger.connection)) logger.status.identifying = false;
}

void OnConnected(Logger& logger, bool wasLost) {
  ProductAndFirmware(logger.connection.identity.identification, logger.product,
                     sizeof logger.product, logger.firmware, sizeof logger.firmware);
  char text[2 * kLogPathSize + 128];
  const ReceiverIdentity& identity = logger.connection.identity;
  std::snprintf(text, sizeof text, "%s %s on %s at %u baud; logging to %s",
                wasLost ? "reconnected to" : "connected to", logger.product, logger.options.device,
                identity.baud,
                logger.options.directory[0] != '\0' ? logger.options.directory : ".");
  if (wasLost) ++logger.reconnects;
  logger.everConnected = 1;
  logger.connectedTick = TickCount();
  {
    std::lock_guard<std::mutex> hold(logger.output.lock);
    logger.output.lastFailure.clear();  // a failure after this one is news again
  }
  PrintEvent(logger.output, text, false);
  NotifyReady(logger.notify);
}

// A connect that failed before any succeeded: the end, unless --wait keeps trying (the
// connection then waits for the device on the reconnect schedule).
void OnFirstConnectFailed(Logger& logger) {
  if (!logger.options.wait) {
    logger.exitCode = 1;
    stopRequested = true;
    return;
  }
  NotifyReady(logger.notify);  // waiting for the receiver is what --wait starts up to
}

void SayLoss(Logger& logger, bool readFailed) {
  char text[kLogPathSize + 300];
  if (readFailed) {
    std::snprintf(text, sizeof text,
                  "lost the receiver on %s: reading from it failed (unplugged, switched off, or "
                  "the line hung up); reconnecting by itself. If it does not come back, check "
                  "its cable and power",
                  logger.options.device);
  } else {
    std::snprintf(text, sizeof text, "lost the receiver on %s; reconnecting",
                  logger.options.device);
  }
  PrintEvent(logger.output, text, true);
}

void HandleNews(Logger& logger) {
  std::vector<ConnectReport> reports;
  std::vector<unsigned> lineDowns;
  {
    std::lock_guard<std::mutex> hold(logger.owner.lock);
    ClearWakeSignal(logger.owner.wake);
    reports.swap(logger.owner.reports);
    lineDowns.swap(logger.owner.lineDowns);
  }
  for (const ConnectReport& report : reports) {
    if (report.attempt == logger.connection.attempt.number) logger.status.identifying = false;
    bool wasLost = logger.connection.state == LinkState::kLost;
    int outcome = FinishConnect(logger.connection, report, TickCount());
    if (outcome == kOutcomeConnected) OnConnected(logger, wasLost);
    if (outcome == kOutcomeFailed && !logger.everConnected) OnFirstConnectFailed(logger);
  }
  for (unsigned attempt : lineDowns) {
    if (NoteLineDown(logger.connection, attempt, TickCount(), std::time(nullptr)))
      SayLoss(logger, true);
  }
}

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

void SayRetention(void* context, const char* text, bool failure) {
  PrintEvent(static_cast<Logger*>(context)->output, text, failure);
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

LogView CurrentView(const Logger& logger, Tick now) {
  LogView view;
  const Connection& connection = logger.connection;
  switch (connection.state) {
    case LinkState::kConnected:
      view.state = kLogLogging;
      break;
    case LinkState::kLost:
      view.state = kLogLost;
      break;
    case LinkState::kWaiting:
      view.state = kLogWaiting;
      break;
    default:
      view.state = kLogConnecting;
      break;
  }
  view.product = logger.product;
  view.baud = connection.identity.baud;
  Tick newest = 0;
  bool any = false;
  for (int i = 0; i < kDumpStreamCount; ++i) {
    const DumpCount& count = DumpCountOf(*connection.capture, i);
    view.items[i] = count.items - count.removedItems;  // what the files hold
    view.bytes[i] = count.bytes - count.removedBytes;
    view.lost[i] = count.lostItems;
    if (count.items == 0) continue;
    Tick tick = count.lastItemTick;
    if (!any || tick > newest) newest = tick;
    any = true;
  }
  view.msSinceLastItem = any ? now - newest : -1;
  view.sentencesDropped = SentencesDropped(*connection.capture);
  view.reconnects = logger.reconnects;
  view.fix = logger.fix;
  view.freeLow = logger.freeSpace.low;
  view.freeBytes = logger.freeSpace.freeBytes;
  return view;
}

MetricsView CurrentMetrics(const Logger& logger, Tick now) {
  MetricsView metrics;
  metrics.connected = IsConnected(logger.connection);
  metrics.product = logger.product;
  metrics.firmware = logger.firmware;
  metrics.device = logger.options.device;
  metrics.baud = logger.connection.identity.baud;
  Tick newest = -1;
  for (int i = 0; i < kDumpStreamCount; ++i) {
    const DumpCount& count = DumpCountOf(*logger.connection.capture, i);
    metrics.items[i] = count.items;  // counters: they never go down
    metrics.bytes[i] = count.bytes;
    metrics.lost[i] = count.lostItems;
    metrics.fileBytes[i] = static_cast<long long>(count.fileBytes.load());
    if (count.items > 0 && count.lastItemTick > newest) newest = count.lastItemTick;
  }
  for (int why = 0; why < kSentenceDropReasons; ++why)
    metrics.sentencesDropped[why] = logger.connection.capture->sentencesDropped[why];
  Tick age = now - (newest >= 0 ? newest : logger.startTick);
  metrics.lastItemAgeSeconds = static_cast<double>(age) / 1000.0;
  metrics.reconnects = static_cast<unsigned long>(logger.reconnects);
  metrics.freeBytes = logger.freeSpace.freeBytes;
  metrics.freeLow = logger.freeSpace.low;
  const FixState& fix = logger.lastFix;
  metrics.fixKnown = logger.fixFresh && fix.quality != kUnknownFix;  // never a stale one
  metrics.fixQuality = fix.quality;
  metrics.satellitesUsed = fix.satellitesUsed;
  metrics.hdop = fix.hdop;
  return metrics;
}

void PublishMetrics(Logger& logger, Tick now) {
  int length =
      MetricsText(CurrentMetrics(logger, now), logger.metricsText, sizeof logger.metricsText);
  if (length >= 0) logger.metricsApi->publish(logger.metrics, logger.metricsText, length);
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
  return logger.options.minFree > 0 || logger.metrics != nullptr;
}
bool Serving(const Logger& logger) {
  return logger.metrics != nullptr;
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
};

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

// How long the main thread may sleep: until the next task, reconnect, watchdog or the end.
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

void ShowState(Logger& logger, Tick now) {
  char line[400];
  LogView view = CurrentView(logger, now);
  LogStatusLine(view, logger.output.terminal ? TerminalColumns() : 0, line, sizeof line);
  ShowStatusLine(logger.output, line);
  if (logger.notify.enabled) {
    LogStatusLine(view, 0, line, sizeof line);
    NotifyStatus(logger.notify, line);
  }
}

// The watchdog is kept alive while the worker is: waiting for the receiver, or busy with
// one read for less than half the watchdog's time.
void FeedWatchdog(Logger& logger, Tick now) {
  const ReceiveWorker& worker = logger.connection.worker;
  bool responsive = WorkerResponsive(worker.busy.load(), worker.busySince.load(), now,
                                     logger.notify.watchdogMs / 2);
  KeepWatchdog(logger.notify, now, responsive);
}

void Run(Logger& logger) {
  Deadline end;
  if (logger.options.forSeconds > 0)
    SetDeadlineFrom(end, TickCount(), static_cast<double>(logger.options.forSeconds));
  ScheduleTasks(logger, TickCount());
  Connect(logger);
  while (!stopRequested) {
    Tick now = TickCount();
    RunDueTasks(logger, now);
    ShowState(logger, now);
    FeedWatchdog(logger, now);
    if (!WaitForWake(logger.owner.wake, NextWakeMs(logger, end, now))) break;
    HandleNews(logger);
    now = TickCount();
    if (logger.options.forSeconds > 0 && DeadlinePassedAt(end, now)) break;
    if (MsUntilReconnect(logger.connection, now) == 0) Connect(logger);
  }
}

void PrintCheckLine(void*, const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

// An earlier recording of the same name is kept under its dated name, as dump files are.
bool StartTheRecording(Logger& logger) {
  const char* path = logger.options.record;
  char kept[kLogPathSize + 64];
  int error = KeepEarlierFile(path, kept, sizeof kept);
  if (error != 0) {
    bool notAFile = error == ELOOP || error == kNotRegularFile;
    std::fprintf(stderr, "tarnex-log: %s %s: %s\n",
                 notAFile ? "cannot record to" : "could not keep the earlier", path,
                 FileErrorText(error));
    return false;
  }
  if (kept[0] != '\0') {
    char text[2 * kLogPathSize + 100];
    std::snprintf(text, sizeof text, "Kept the earlier recording %s as %s", path, kept);
    PrintEvent(logger.output, text, false);
  }
  logger.recorder = std::make_unique<Recorder>();
  if (!StartRecording(*logger.recorder, path)) return false;
  AttachRecorder(logger.connection, logger.recorder.get());
  return true;
}

// What each stream lost in the whole run.
void TakeLosses(const Capture& capture, StreamLoss losses[kDumpStreamCount]) {
  for (int i = 0; i < kDumpStreamCount; ++i) {
    const DumpCount& count = DumpCountOf(capture, i);
    losses[i].items = count.lostItems;
    losses[i].bytes = count.lostBytes;
    losses[i].first = static_cast<std::time_t>(count.firstLoss.load());
    losses[i].last = static_cast<std::time_t>(count.lastLoss.load());
    losses[i].failures = count.failures;
  }
}

bool StartMetrics(Logger& logger) {
  const LogOptions& options = logger.options;
  char error[600];
  int port = 0;
  logger.metricsApi = LoadMetricsModule(error, sizeof error);
  if (logger.metricsApi != nullptr) {
    logger.metrics = logger.metricsApi->start(options.metricsHost, options.metricsPort, &port,
                                              error, sizeof error);
  }
  if (logger.metrics == nullptr) {
    std::fprintf(stderr, "tarnex-log: %s\n", error);
    return false;
  }
  const char* host = options.metricsHost;
  bool six = std::strchr(host, ':') != nullptr;
  char text[200];
  std::snprintf(text, sizeof text, "serving metrics at http://%s%s%s:%d/metrics", six ? "[" : "",
                host, six ? "]" : "", port);
  PrintEvent(logger.output, text, false);
  return true;
}

void PrepareConnection(Logger& logger) {
  const LogOptions& options = logger.options;
  Connection& connection = logger.connection;
  connection.sendsKeys = false;
  connection.waitsForDevice = options.wait;
  SetDumpDirectory(*connection.capture, options.directory);
  connection.capture->dumpSplit = options.split;
  connection.hooks.context = &logger.owner;
  connection.hooks.connectDone = OnConnectDone;
  connection.hooks.lineDown = OnLineDown;
  connection.hooks.screen = OnScreen;
  Retention& retention = logger.retention;
  retention.directory = options.directory;
  retention.split = options.split;
  retention.keepSeconds = options.keepSeconds;
  retention.written = &connection.capture->writtenPeriods;
  retention.said = SayRetention;
  retention.context = &logger;
}

// The end of the run: the worker has written its last item, and the last line says
// whether every item is on disk.
void Finish(Logger& logger) {
  NotifyStopping(logger.notify);
  if (logger.metrics != nullptr) logger.metricsApi->stop(logger.metrics);
  Connection& connection = logger.connection;
  EndConnection(connection);  // the worker finishes its item and closes the files
  if (logger.recorder) {
    AttachRecorder(connection, nullptr);
    StopRecording(*logger.recorder);
    if (logger.recorder->droppedTotal > 0) {
      char text[120];
      std::snprintf(text, sizeof text,
                    "the recording lost %lu events: the disk did not keep up with the line",
                    logger.recorder->droppedTotal);
      PrintEvent(logger.output, text, true);
    }
    bool recordingWhole = logger.recorder->droppedTotal == 0 && !logger.recorder->failed;
    if (!recordingWhole && logger.exitCode == 0) logger.exitCode = kExitItemsLost;
  }
  SetLogging(connection.capture->logging, 0);
  SetStatusSink(nullptr, nullptr);
  EndStatusLine(logger.output);
  StreamLoss losses[kDumpStreamCount];
  TakeLosses(*connection.capture, losses);
  unsigned long dropped[kSentenceDropReasons];
  for (int why = 0; why < kSentenceDropReasons; ++why)
    dropped[why] = connection.capture->sentencesDropped[why];
  char last[1200];
  bool whole = LogStopLine(losses, dropped, last, sizeof last);
  if (!whole && logger.exitCode == 0) logger.exitCode = kExitItemsLost;
  if (logger.exitCode == 0 || !whole) PrintEvent(logger.output, last, !whole);
}

// The folder is writable and ours alone; 0, or the exit status with the reason said.
int ClaimFolder(const LogOptions& options, FolderLock& folderLock) {
  int folderError = 0;
  if (!FolderWritable(options.directory, folderError)) {
    std::fprintf(stderr, "tarnex-log: cannot write the dump files in %s: %s\n",
                 options.directory[0] != '\0' ? options.directory : "the current directory",
                 std::strerror(folderError));
    return 1;
  }
  char holder[300];
  int locked = LockFolder(folderLock, options.directory, options.device, holder, sizeof holder);
  if (locked != 0) {
    char text[2 * kLogPathSize + 400];
    FolderLockText(locked, options.directory, holder, text, sizeof text);
    std::fprintf(stderr, "tarnex-log: %s\n", text);
    return 1;
  }
  return 0;
}

int Log(Logger& logger) {
  LogOptions& options = logger.options;
  logger.output.terminal = OutputIsTerminal();
  logger.output.quiet = options.quiet;
  if (!OpenWakeSignal(logger.owner.wake)) {
    std::fprintf(stderr, "tarnex-log: cannot make the main loop's wake signal: %s\n",
                 std::strerror(errno));
    return 1;
  }
  stopWake = &logger.owner.wake;
  CatchStopRequests(OnStopRequest);
  PrepareDumpWrites();
  logger.status.output = &logger.output;
  logger.status.mainThread = std::this_thread::get_id();
  SetStatusSink(StatusToOutput, &logger.status);
  PrepareConnection(logger);
  SetLogging(logger.connection.capture->logging, 1);
  bool started = (options.record[0] == '\0' || StartTheRecording(logger)) &&
                 (options.metricsPort < 0 || StartMetrics(logger));
  if (started) {
    logger.startTick = TickCount();
    logger.freeSpace.minFree = options.minFree;
    StartServiceNotify(logger.notify, logger.startTick);
    BeginRetention(logger.retention, std::time(nullptr), logger.startTick);
    Run(logger);
  } else {
    logger.exitCode = 1;
  }
  Finish(logger);
  stopWake = nullptr;
  StopRequestsHandled();
  CloseWakeSignal(logger.owner.wake);
  return logger.exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  auto logger = std::make_unique<Logger>();
  LogOptions& options = logger->options;
  char error[200];
  if (!ParseLogOptions(argc, argv, options, error, sizeof error)) {
    std::fprintf(stderr, "tarnex-log: %s\n%s", error, kLogUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(kLogUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("%s\n", kVersion);
    return 0;
  }
  if (options.check) return CheckPort(options.device, PrintCheckLine, nullptr) == 0 ? 0 : 1;
  FolderLock folderLock;
  int claimed = ClaimFolder(options, folderLock);
  if (claimed != 0) return claimed;
  int status = Log(*logger);
  UnlockFolder(folderLock);
  return status;
}
