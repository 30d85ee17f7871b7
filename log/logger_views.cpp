// SPDX-License-Identifier: BSD-2-Clause
// What tarnex-log shows of itself: the live line (and systemd's status) and the metrics.

#include <ctime>

#include "log/log_report.h"
#include "log/log_system.h"
#include "log/logger.h"
#include "log/metrics_text.h"

namespace {

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

}  // namespace

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
  if (logger.share) {
    const ShareHub& hub = *logger.share;
    metrics.sharing = true;
    metrics.clientsAttached = hub.attachedCount;
    metrics.keysForwarded = hub.keysForwarded;
    metrics.keysRefused = hub.keysRefused;
    metrics.clientsDropped = hub.clientsDropped;
  }
  return metrics;
}

void PublishMetrics(Logger& logger, Tick now) {
  int length =
      MetricsText(CurrentMetrics(logger, now), logger.metricsText, sizeof logger.metricsText);
  if (length >= 0) logger.metricsApi->publish(logger.metrics, logger.metricsText, length);
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
