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
#include <thread>
#include <vector>

#include "base/regular_file.h"
#include "base/status_message.h"
#include "base/tick.h"
#include "capture/dump_io.h"
#include "capture/earlier_file.h"
#include "capture/folder_lock.h"
#include "capture/logging_switch.h"
#include "link/identification.h"
#include "log/log_report.h"
#include "log/log_system.h"
#include "log/logger.h"
#include "log/port_check.h"

namespace {

const char* const kVersion = "tarnex-log " TARNEX_VERSION;
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

// The stop requests caught, and their wake-up pointed at the main loop's wake signal, for
// as long as this lives.
class StopRequestScope {
 public:
  explicit StopRequestScope(WakeSignal& wake) {
    stopWake = &wake;
    CatchStopRequests(OnStopRequest);
  }
  StopRequestScope(const StopRequestScope&) = delete;
  StopRequestScope& operator=(const StopRequestScope&) = delete;
  ~StopRequestScope() {
    stopWake = nullptr;
    StopRequestsHandled();
  }
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
  TakeWorkerNews(logger.news, reports, lineDowns);
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
    ServeSharing(logger);
    if (!WaitForWake(logger.news.wake, NextWakeMs(logger, end, now))) break;
    HandleNews(logger);
    ServeSharing(logger);
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
  ConnectionSettings settings;
  settings.sendsKeys = false;  // the logger sends nothing beyond the identification
  settings.waitsForDevice = options.wait;
  ConfigureConnection(connection, settings);
  SetDumpDirectory(*connection.capture, options.directory);
  connection.capture->dumpSplit = options.split;
  HookUpWorkerNews(connection, logger.news);
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
  StopWeb(logger);            // no item comes for the clients any more
  StopSharing(logger);
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

// The run itself, from the first connect to the last line: the wake signal, the stop
// requests and the status news are held only as long as it lasts.
int Log(Logger& logger) {
  LogOptions& options = logger.options;
  logger.output.terminal = OutputIsTerminal();
  logger.output.quiet = options.quiet;
  if (!OpenWakeSignal(logger.news.wake)) {
    std::fprintf(stderr, "tarnex-log: cannot make the main loop's wake signal: %s\n",
                 std::strerror(errno));
    return 1;
  }
  StopRequestScope stopRequests(logger.news.wake);
  PrepareDumpWrites();
  logger.status.output = &logger.output;
  logger.status.mainThread = std::this_thread::get_id();
  StatusSinkScope statusNews(logger.status);
  PrepareConnection(logger);
  SetLogging(logger.connection.capture->logging, 1);
  bool started = (options.record[0] == '\0' || StartTheRecording(logger)) &&
                 (options.metricsPort < 0 || StartMetrics(logger)) && StartSharing(logger) &&
                 StartWeb(logger);
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
  if (options.hashPassword) return PrintPasswordHash();
  if (options.check) return CheckPort(options.device, PrintCheckLine, nullptr) == 0 ? 0 : 1;
  HeldFolderLock folder;
  int claimed = ClaimFolder(options, folder.lock);
  if (claimed != 0) return claimed;
  return Log(*logger);
}
