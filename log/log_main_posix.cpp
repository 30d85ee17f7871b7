// SPDX-License-Identifier: BSD-2-Clause
// tarnex-log: unattended logging without a window. The connection module does the
// connecting, the link watch and the reconnects; this program owns it from its main
// thread, shows what happens and stops cleanly on SIGINT, SIGTERM or the end of --for.

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "connection/connection.h"
#include "link/identification.h"
#include "link/recording.h"
#include "link/status_message.h"
#include "link/tick.h"
#include "log/log_options.h"
#include "log/log_report.h"
#include "log/port_check.h"

namespace {

const char* const kVersion = "tarnex-log " TARNEX_VERSION;
constexpr int kStatusRefreshMs = 1000;
constexpr int kRecordingDrainMs = 200;

// Set by the signal handlers; the wake signal's descriptor lets them end the main wait.
std::atomic<bool> stopRequested{false};  // lock-free: safe in a handler, on any thread
int wakeFd = -1;

void OnStopSignal(int) {
  stopRequested = true;
  uint64_t one = 1;
  if (wakeFd >= 0 && write(wakeFd, &one, sizeof one) < 0) {
    // nothing to do in a handler: the main wait ends within its next time-out anyway
  }
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

// What is printed, and how: a live status line on a terminal, a line per event else.
struct Output {
  bool terminal = false;
  bool quiet = false;
  std::mutex lock;  // status texts come from the worker's thread too
  std::string statusLine;
  std::string lastFailure;  // a failure is printed again only when it changes
};

void PrintEvent(Output& output, const char* text, bool failure) {
  std::lock_guard<std::mutex> hold(output.lock);
  if (output.quiet && !failure) return;
  char line[700];
  LogEventLine(std::time(nullptr), text, line, sizeof line);
  if (output.terminal) std::fputs("\r\033[K", stdout);
  std::fprintf(failure ? stderr : stdout, "%s\n", line);
  if (output.terminal && !output.quiet) std::fputs(output.statusLine.c_str(), stdout);
  std::fflush(stdout);
}

void ShowStatusLine(Output& output, const std::string& line) {
  std::lock_guard<std::mutex> hold(output.lock);
  output.statusLine = line;
  if (!output.terminal || output.quiet) return;
  std::fprintf(stdout, "\r\033[K%s", line.c_str());
  std::fflush(stdout);
}

// Texts of the link, capture and connection: failures, and the files kept under their
// dated names; the progress of each connect attempt is not worth a journal line.
void StatusToOutput(const char* text, int kind, void* context) {
  auto* output = static_cast<Output*>(context);
  if (kind == kStatusFailure) {
    {
      std::lock_guard<std::mutex> hold(output->lock);
      if (output->lastFailure == text) return;
      output->lastFailure = text;
    }
    PrintEvent(*output, text, true);
  } else if (std::strncmp(text, "Kept the earlier", 16) == 0) {
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
  int everConnected = 0;
  int reconnects = 0;
  int failedStarts = 0;
  uint32_t retryAt = 0;  // --wait before the first connect
  int retryArmed = 0;
  int exitCode = 0;
};

void TakeProduct(Logger& logger) {
  char product[kProductSize];
  if (!ScanProduct(logger.connection.identity.identification, product)) product[0] = '\0';
  product[std::strcspn(product, ",;")] = '\0';
  std::snprintf(logger.product, sizeof logger.product, "%s", product);
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
  {
    std::lock_guard<std::mutex> hold(logger.output.lock);
    logger.output.lastFailure.clear();  // a failure after this one is news again
  }
  PrintEvent(logger.output, text, false);
}

// A connect that failed before any succeeded: the end, unless --wait keeps trying.
void OnFirstConnectFailed(Logger& logger, uint32_t now) {
  if (!logger.options.wait) {
    logger.exitCode = 1;
    stopRequested = true;
    return;
  }
  logger.retryAt = now + static_cast<uint32_t>(ReconnectDelayMs(logger.failedStarts++));
  logger.retryArmed = 1;
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

LogView CurrentView(const Logger& logger) {
  LogView view;
  const Connection& connection = logger.connection;
  view.state = connection.connected ? kLogLogging
               : connection.lost    ? kLogLost
               : logger.retryArmed  ? kLogWaiting
                                    : kLogConnecting;
  view.product = logger.product;
  view.baud = connection.identity.baud;
  uint32_t newest = 0;
  bool any = false;
  for (int i = 0; i < kDumpStreamCount; ++i) {
    const DumpCount& count = connection.capture->counts[i];
    view.items[i] = count.items;
    view.bytes[i] = count.bytes;
    if (count.items == 0) continue;
    uint32_t tick = count.lastItemTick;
    if (!any || static_cast<int32_t>(tick - newest) > 0) newest = tick;
    any = true;
  }
  view.msSinceLastItem = any ? static_cast<long>(TickCount() - newest) : -1;
  view.reconnects = logger.reconnects;
  return view;
}

// How long the main thread may sleep: until the next status line, reconnect or the end.
int NextWakeMs(const Logger& logger, const Deadline& end) {
  int wait = logger.output.terminal && !logger.options.quiet ? kStatusRefreshMs : -1;
  auto sooner = [&wait](int ms) {
    if (ms >= 0 && (wait < 0 || ms < wait)) wait = ms;
  };
  sooner(MsUntilReconnect(logger.connection, TickCount()));
  if (logger.retryArmed) {
    int left = static_cast<int32_t>(logger.retryAt - TickCount());
    sooner(left > 0 ? left : 0);
  }
  if (logger.options.forSeconds > 0) sooner(DeadlineRemainingMs(end));
  if (logger.recorder) sooner(kRecordingDrainMs);
  return wait;
}

void Run(Logger& logger) {
  Deadline end;
  if (logger.options.forSeconds > 0)
    SetDeadline(end, static_cast<double>(logger.options.forSeconds));
  BeginConnect(logger.connection, logger.options.device, TickCount());
  while (!stopRequested) {
    char line[400];
    LogView view = CurrentView(logger);
    LogStatusLine(view, line, sizeof line);
    ShowStatusLine(logger.output, line);
    struct pollfd entry = {static_cast<int>(logger.owner.wake.handle), POLLIN, 0};
    if (poll(&entry, 1, NextWakeMs(logger, end)) < 0 && errno != EINTR) break;
    HandleNews(logger);
    if (logger.recorder) DrainRecording(*logger.recorder);
    if (logger.options.forSeconds > 0 && DeadlinePassed(end)) break;
    if (MsUntilReconnect(logger.connection, TickCount()) == 0 ||
        (logger.retryArmed && static_cast<int32_t>(logger.retryAt - TickCount()) <= 0)) {
      logger.retryArmed = 0;
      BeginConnect(logger.connection, logger.options.device, TickCount());
    }
  }
}

void PrintCheckLine(void*, const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

bool DirectoryWritable(const char* directory) {
  return access(directory[0] != '\0' ? directory : ".", W_OK | X_OK) == 0;
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
  if (!DirectoryWritable(options.directory)) {
    std::fprintf(stderr, "tarnex-log: cannot write the dump files in %s: %s\n",
                 options.directory[0] != '\0' ? options.directory : "the current directory",
                 std::strerror(errno));
    return 1;
  }
  logger->output.terminal = isatty(STDOUT_FILENO) == 1;
  logger->output.quiet = options.quiet;
  if (!OpenWakeSignal(logger->owner.wake)) {
    std::fprintf(stderr, "tarnex-log: eventfd failed: %s\n", std::strerror(errno));
    return 1;
  }
  wakeFd = static_cast<int>(logger->owner.wake.handle);
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  SetStatusSink(StatusToOutput, &logger->output);
  Connection& connection = logger->connection;
  connection.sendsKeys = 0;
  connection.capture->dumpDirectory = options.directory;
  connection.hooks.context = &logger->owner;
  connection.hooks.connectDone = OnConnectDone;
  connection.hooks.lineDown = OnLineDown;
  connection.hooks.screen = OnScreen;
  SetLogging(connection.capture->logging, 1);
  if (options.record[0] != '\0') {
    logger->recorder = std::make_unique<Recorder>();
    if (!StartRecording(*logger->recorder, options.record)) return 1;
    AttachRecorder(connection, logger->recorder.get());
  }
  Run(*logger);
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
  }
  SetLogging(connection.capture->logging, 0);
  SetStatusSink(nullptr, nullptr);
  if (logger->output.terminal && !options.quiet) std::fputs("\n", stdout);
  if (logger->exitCode == 0) PrintEvent(logger->output, "stopped; every item is on disk", false);
  wakeFd = -1;
  CloseWakeSignal(logger->owner.wake);
  return logger->exitCode;
}
