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
#include <vector>

#include "base/regular_file.h"
#include "base/status_message.h"
#include "base/tick.h"
#include "capture/dump_io.h"
#include "capture/dump_news.h"
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
#include "recorder/recording.h"

namespace {

const char* const kVersion = "tarnex-log " TARNEX_VERSION;
constexpr int kStatusRefreshMs = 1000;
constexpr int kRecordingDrainMs = 200;
constexpr int kSilenceCheckMs = 1000;
constexpr int kFixCheckMs = 1000;          // a change of the fix reaches the journal within this
constexpr Tick kPruneEveryMs = 60000;  // --keep looks for old split files this often
constexpr Tick kFreeSpaceEveryMs = 10000;
constexpr Tick kMetricsEveryMs = 1000;  // a scrape sees the logger as it was this recently
constexpr int kMetricsTextSize = 8192;
constexpr int kExitItemsLost = 3;

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

// Texts of the link, capture and connection: failures, and the files kept under their
// dated names; the progress of each connect attempt is not worth a journal line.
void StatusToOutput(const StatusEvent& event, void* context) {
  auto* output = static_cast<Output*>(context);
  char text[2048];
  StatusEventText(event, text, sizeof text);
  if (event.kind == kStatusFailure) {
    {
      std::lock_guard<std::mutex> hold(output->lock);
      if (output->lastFailure == text) return;
      output->lastFailure = text;
    }
    PrintEvent(*output, text, true);
  } else if (event.news == kDumpFileKept || event.news == kDumpFileClosed) {
    PrintEvent(*output, text, false);
  }
}

struct Logger {
  LogOptions options;
  std::unique_ptr<Recorder> recorder;  // with --record
  Connection connection;
  Owner owner;
  Output output;
  char product[64] = "";
  char firmware[32] = "";
  int everConnected = 0;
  int reconnects = 0;
  int failedStarts = 0;
  Tick retryAt = 0;  // --wait before the first connect
  int retryArmed = 0;
  Tick connectedTick = 0;  // the silence watch counts from the connect
  int exitCode = 0;
  Tick prunedTick = 0;  // --keep: when old split files were last looked for
  char fix[64] = "";        // the fix's summary, for the status line
  int fixQuality = -1;      // the quality last said in an event line; -1: none yet
  FixState lastFix;         // for the metrics
  Tick startTick = 0;
  FreeSpaceWatch freeSpace;
  Tick freeCheckedTick = 0;
  ServiceNotify notify;
  const MetricsServerApi* metricsApi = nullptr;
  MetricsServer* metrics = nullptr;  // --metrics: the server, while it runs
  bool serving = false;
  Tick metricsTick = 0;
  char metricsText[kMetricsTextSize];  // rendered here once a second, copied by the server
};

void TakeProduct(Logger& logger) {
  char product[kProductSize];
  if (!ScanProduct(logger.connection.identity.identification, product)) product[0] = '\0';
  product[std::strcspn(product, ",;")] = '\0';
  std::snprintf(logger.product, sizeof logger.product, "%s", product);
  const char* version = std::strstr(logger.connection.identity.identification, ";VERSION,");
  logger.firmware[0] = '\0';
  if (version != nullptr) {
    version += std::strlen(";VERSION,");
    std::snprintf(logger.firmware, sizeof logger.firmware, "%.*s",
                  static_cast<int>(std::strcspn(version, ",; \r\n")), version);
  }
}

void OnConnected(Logger& logger, bool wasLost) {
  TakeProduct(logger);
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

// A connect that failed before any succeeded: the end, unless --wait keeps trying.
void OnFirstConnectFailed(Logger& logger, Tick now) {
  if (!logger.options.wait) {
    logger.exitCode = 1;
    stopRequested = true;
    return;
  }
  logger.retryAt = now + ReconnectDelayMs(logger.failedStarts++);
  logger.retryArmed = 1;
  NotifyReady(logger.notify);  // waiting for the receiver is what --wait starts up to
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
    bool wasLost = logger.connection.lost != 0;
    int outcome = FinishConnect(logger.connection, report, TickCount());
    if (outcome == kOutcomeConnected) OnConnected(logger, wasLost);
    if (outcome == kOutcomeFailed && !logger.everConnected)
      OnFirstConnectFailed(logger, TickCount());
  }
  for (unsigned attempt : lineDowns) {
    if (!NoteLineDown(logger.connection, attempt, TickCount(), std::time(nullptr))) continue;
    char text[400];
    std::snprintf(text, sizeof text, "lost the receiver on %s; reconnecting",
                  logger.options.device);
    PrintEvent(logger.output, text, true);
  }
}

// The fix from the receiver's sentences: its summary for the status line, and an event
// line whenever its quality changes, so that a journal says when a fix was lost or won.
void FollowFix(Logger& logger) {
  FixState fix = CopySharedFix(logger.connection.capture->fix, TickCount());
  logger.lastFix = fix;
  if (fix.sentences == 0) return;
  FixSummaryText(fix, logger.fix, sizeof logger.fix);
  if (fix.quality == logger.fixQuality) return;
  char text[160];
  if (logger.fixQuality < 0) {
    std::snprintf(text, sizeof text, "fix %s", FixQualityName(fix.quality));
  } else {
    std::snprintf(text, sizeof text, "fix %s (was %s)", FixQualityName(fix.quality),
                  FixQualityName(logger.fixQuality));
  }
  logger.fixQuality = fix.quality;
  PrintEvent(logger.output, text, false);
}

LogView CurrentView(const Logger& logger) {
  LogView view;
  const Connection& connection = logger.connection;
  view.state = connection.connected ? kLogLogging
               : connection.lost    ? kLogLost
               : logger.retryArmed  ? kLogWaiting
                                    : kLogConnecting;
  view.product = logger.product;
  view.baud = connection.identity.baud;
  Tick newest = 0;
  bool any = false;
  for (int i = 0; i < kDumpStreamCount; ++i) {
    const DumpCount& count = DumpCountOf(*connection.capture, i);
    view.items[i] = count.items;
    view.bytes[i] = count.bytes;
    view.lost[i] = count.lostItems;
    if (count.items == 0) continue;
    Tick tick = count.lastItemTick;
    if (!any || tick > newest) newest = tick;
    any = true;
  }
  view.msSinceLastItem = any ? TickCount() - newest : -1;
  view.reconnects = logger.reconnects;
  view.fix = logger.fix;
  view.freeLow = logger.freeSpace.low;
  view.freeBytes = logger.freeSpace.freeBytes;
  return view;
}

// How long the main thread may sleep: until the next status line, reconnect or the end.
int NextWakeMs(const Logger& logger, const Deadline& end) {
  int wait = logger.output.terminal && !logger.options.quiet ? kStatusRefreshMs : -1;
  auto sooner = [&wait](int ms) {
    if (ms >= 0 && (wait < 0 || ms < wait)) wait = ms;
  };
  sooner(MsUntilReconnect(logger.connection, TickCount()));
  if (logger.retryArmed) sooner(MsUntil(logger.retryAt, TickCount()));
  if (logger.options.forSeconds > 0) sooner(DeadlineRemainingMs(end));
  if (logger.recorder) sooner(kRecordingDrainMs);
  if (logger.options.silenceSeconds > 0 && logger.connection.connected) sooner(kSilenceCheckMs);
  if (logger.connection.connected) sooner(kFixCheckMs);
  if (logger.options.keepSeconds > 0) sooner(MsUntil(logger.prunedTick + kPruneEveryMs, TickCount()));
  if (logger.options.minFree > 0 || logger.serving)
    sooner(MsUntil(logger.freeCheckedTick + kFreeSpaceEveryMs, TickCount()));
  if (logger.serving) sooner(MsUntil(logger.metricsTick + kMetricsEveryMs, TickCount()));
  sooner(MsUntilWatchdog(logger.notify, TickCount()));
  return wait;
}

// A line that had been sending and has been silent for --silence: a device server that
// lost power behind a router keeps the connection open and sends nothing, for ever.
void WatchSilence(Logger& logger) {
  const Connection& connection = logger.connection;
  const Capture& capture = *connection.capture;
  if (logger.options.silenceSeconds <= 0 || !connection.connected || !capture.anyByte) return;
  Tick now = TickCount();
  Tick last = capture.lastByteTick;
  if (last < logger.connectedTick) return;  // not sending since
  Tick limit = static_cast<Tick>(logger.options.silenceSeconds) * 1000;
  if (now - last < limit) return;
  char text[kLogPathSize + 120];
  std::snprintf(text, sizeof text,
                "nothing came from the receiver on %s for %lld s; taking it as lost and "
                "reconnecting",
                logger.options.device, static_cast<long long>(logger.options.silenceSeconds));
  PrintEvent(logger.output, text, true);
  MarkLost(logger.connection, now, std::time(nullptr));
}

void SayPruned(void* context, const char* text, bool failure) {
  PrintEvent(static_cast<Logger*>(context)->output, text, failure);
}

// --keep: the split files whose hour or day ended longer ago than that go, once a minute.
void PruneOldFiles(Logger& logger, bool now) {
  if (logger.options.keepSeconds <= 0) return;
  if (!now && TickCount() - logger.prunedTick < kPruneEveryMs) return;
  logger.prunedTick = TickCount();
  PruneSplitFiles(logger.options.directory, logger.options.split, logger.options.keepSeconds,
                  std::time(nullptr), SayPruned, &logger);
}

// --min-free and the metrics: the folder's free space, looked at every few seconds. A
// fall below --min-free is said once, and its end once.
void WatchFreeSpace(Logger& logger, bool now) {
  if (logger.options.minFree == 0 && !logger.serving) return;
  if (!now && TickCount() - logger.freeCheckedTick < kFreeSpaceEveryMs) return;
  logger.freeCheckedTick = TickCount();
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

MetricsView CurrentMetrics(const Logger& logger, const LogView& view) {
  MetricsView metrics;
  metrics.connected = logger.connection.connected;
  metrics.product = logger.product;
  metrics.firmware = logger.firmware;
  metrics.device = logger.options.device;
  metrics.baud = logger.connection.identity.baud;
  for (int i = 0; i < kDumpStreamCount; ++i) {
    metrics.items[i] = view.items[i];
    metrics.bytes[i] = view.bytes[i];
    metrics.lost[i] = view.lost[i];
    metrics.fileBytes[i] =
        static_cast<long long>(DumpCountOf(*logger.connection.capture, i).fileBytes.load());
  }
  int64_t ms = view.msSinceLastItem >= 0 ? view.msSinceLastItem
                                      : TickCount() - logger.startTick;
  metrics.lastItemAgeSeconds = static_cast<double>(ms) / 1000.0;
  metrics.reconnects = static_cast<unsigned long>(logger.reconnects);
  metrics.freeBytes = logger.freeSpace.freeBytes;
  metrics.freeLow = logger.freeSpace.low;
  const FixState& fix = logger.lastFix;
  metrics.fixKnown = logger.fixQuality >= 0;
  metrics.fixQuality = fix.quality;
  metrics.satellitesUsed = fix.satellitesUsed;
  metrics.hdop = fix.hdop;
  return metrics;
}

void PublishState(Logger& logger, const LogView& view) {
  char line[400];
  if (logger.notify.enabled) {
    LogStatusLine(view, 0, line, sizeof line);
    NotifyStatus(logger.notify, line);
  }
  if (!logger.serving || TickCount() - logger.metricsTick < kMetricsEveryMs) return;
  logger.metricsTick = TickCount();
  int length =
      MetricsText(CurrentMetrics(logger, view), logger.metricsText, sizeof logger.metricsText);
  if (length >= 0) logger.metricsApi->publish(logger.metrics, logger.metricsText, length);
}

// The watchdog is kept alive while the worker is: waiting for the receiver, or busy with
// one read for less than half the watchdog's time.
void FeedWatchdog(Logger& logger) {
  const ReceiveWorker& worker = logger.connection.worker;
  Tick now = TickCount();
  bool responsive = WorkerResponsive(worker.busy.load(), worker.busySince.load(), now,
                                     logger.notify.watchdogMs / 2);
  KeepWatchdog(logger.notify, now, responsive);
}

void Run(Logger& logger) {
  Deadline end;
  if (logger.options.forSeconds > 0)
    SetDeadline(end, static_cast<double>(logger.options.forSeconds));
  BeginConnect(logger.connection, logger.options.device, TickCount());
  PruneOldFiles(logger, true);
  WatchFreeSpace(logger, true);
  while (!stopRequested) {
    char line[400];
    FollowFix(logger);
    LogView view = CurrentView(logger);
    LogStatusLine(view, logger.output.terminal ? TerminalColumns() : 0, line, sizeof line);
    ShowStatusLine(logger.output, line);
    PublishState(logger, view);
    FeedWatchdog(logger);
    if (!WaitForWake(logger.owner.wake, NextWakeMs(logger, end))) break;
    HandleNews(logger);
    WatchSilence(logger);
    PruneOldFiles(logger, false);
    WatchFreeSpace(logger, false);
    if (logger.recorder) DrainRecording(*logger.recorder);
    if (logger.options.forSeconds > 0 && DeadlinePassed(end)) break;
    if (MsUntilReconnect(logger.connection, TickCount()) == 0 ||
        (logger.retryArmed && logger.retryAt <= TickCount())) {
      logger.retryArmed = 0;
      BeginConnect(logger.connection, logger.options.device, TickCount());
    }
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
  logger.serving = true;
  const char* host = options.metricsHost;
  bool six = std::strchr(host, ':') != nullptr;
  char text[200];
  std::snprintf(text, sizeof text, "serving metrics at http://%s%s%s:%d/metrics", six ? "[" : "",
                host, six ? "]" : "", port);
  PrintEvent(logger.output, text, false);
  return true;
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
  int folderError = 0;
  if (!FolderWritable(options.directory, folderError)) {
    std::fprintf(stderr, "tarnex-log: cannot write the dump files in %s: %s\n",
                 options.directory[0] != '\0' ? options.directory : "the current directory",
                 std::strerror(folderError));
    return 1;
  }
  FolderLock folderLock;
  char holder[300];
  int locked = LockFolder(folderLock, options.directory, options.device, holder, sizeof holder);
  if (locked != 0) {
    char text[2 * kLogPathSize + 400];
    FolderLockText(locked, options.directory, holder, text, sizeof text);
    std::fprintf(stderr, "tarnex-log: %s\n", text);
    return 1;
  }
  logger->output.terminal = OutputIsTerminal();
  logger->output.quiet = options.quiet;
  if (!OpenWakeSignal(logger->owner.wake)) {
    std::fprintf(stderr, "tarnex-log: cannot make the main loop's wake signal: %s\n",
                 std::strerror(errno));
    return 1;
  }
  stopWake = &logger->owner.wake;
  CatchStopRequests(OnStopRequest);
  PrepareDumpWrites();
  SetStatusSink(StatusToOutput, &logger->output);
  Connection& connection = logger->connection;
  connection.sendsKeys = false;
  connection.capture->dumpDirectory = options.directory;
  connection.capture->dumpSplit = options.split;
  connection.hooks.context = &logger->owner;
  connection.hooks.connectDone = OnConnectDone;
  connection.hooks.lineDown = OnLineDown;
  connection.hooks.screen = OnScreen;
  SetLogging(connection.capture->logging, 1);
  if (options.record[0] != '\0' && !StartTheRecording(*logger)) return 1;
  if (options.metricsPort >= 0 && !StartMetrics(*logger)) return 1;
  logger->startTick = TickCount();
  logger->freeSpace.minFree = options.minFree;
  StartServiceNotify(logger->notify, TickCount());
  Run(*logger);
  NotifyStopping(logger->notify);
  if (logger->metrics != nullptr) logger->metricsApi->stop(logger->metrics);
  EndConnection(connection);  // the worker finishes its item and closes the files
  if (logger->recorder) {
    AttachRecorder(connection, nullptr);
    StopRecording(*logger->recorder);
    if (logger->recorder->droppedTotal > 0) {
      char text[120];
      std::snprintf(text, sizeof text,
                    "the recording lost %lu events: the disk did not keep up with the line",
                    logger->recorder->droppedTotal);
      PrintEvent(logger->output, text, true);
    }
    bool recordingWhole = logger->recorder->droppedTotal == 0 && !logger->recorder->failed;
    if (!recordingWhole && logger->exitCode == 0) logger->exitCode = kExitItemsLost;
  }
  SetLogging(connection.capture->logging, 0);
  SetStatusSink(nullptr, nullptr);
  EndStatusLine(logger->output);
  StreamLoss losses[kDumpStreamCount];
  TakeLosses(*connection.capture, losses);
  char last[1200];
  bool whole = LogStopLine(losses, last, sizeof last);
  if (!whole && logger->exitCode == 0) logger->exitCode = kExitItemsLost;
  if (logger->exitCode == 0 || !whole) PrintEvent(logger->output, last, !whole);
  UnlockFolder(folderLock);
  stopWake = nullptr;
  StopRequestsHandled();
  CloseWakeSignal(logger->owner.wake);
  return logger->exitCode;
}
