// SPDX-License-Identifier: BSD-2-Clause
#include "log/log_report.h"

#include <cstdio>
#include <cstring>

#include "base/append_text.h"
#include "base/byte_count_text.h"
#include "base/local_time.h"

namespace {

const char* const kStreamNames[4] = {"posn", "obsd", "corr", "nmea"};
const char* const kStateNames[] = {"connecting", "logging", "LOST", "waiting for the receiver"};

// "2026-12-07 15:40:01"; "?" and false when the local time cannot be told.
bool LocalStamp(std::time_t when, char* out, size_t size) {
  std::tm local = {};
  if (!LocalTime(when, local) || std::strftime(out, size, "%Y-%m-%d %H:%M:%S", &local) == 0) {
    std::snprintf(out, size, "?");
    return false;
  }
  return true;
}

}  // namespace

namespace {

// What the status line leaves out, one more at each level, until it fits.
enum StatusDetail {
  kAllDetails,
  kWithoutSizes,
  kWithoutBaud,
  kWithoutReconnects,
  kWithoutProduct,
  kWithoutFix,
  kWithoutQuietStreams,  // streams with no item and nothing lost or dropped
  kWithoutAge,
  kWithoutCounts,  // only the streams that LOST items or dropped sentences
  kStateOnly,
};

// "nmea 340 (25.1 kB, 3 dropped, 5 LOST)": what was dropped or LOST stays at every width.
void StreamField(const LogView& view, int i, int level, char* out, int size, int& used) {
  unsigned long dropped = i == 3 ? view.sentencesDropped : 0;
  bool telling = view.lost[i] > 0 || dropped > 0;
  if (level >= kWithoutCounts && !telling) return;
  if (level >= kWithoutQuietStreams && view.items[i] == 0 && !telling) return;
  AppendText(out, size, used, " %s %lu", kStreamNames[i], view.items[i]);
  char notes[96] = "";
  int noted = 0;
  if (level < kWithoutSizes && view.items[i] > 0) {
    char amount[24];
    ByteCountText(view.bytes[i], amount, sizeof amount);
    AppendText(notes, sizeof notes, noted, "%s", amount);
  }
  if (dropped > 0)
    AppendText(notes, sizeof notes, noted, "%s%lu dropped", noted > 0 ? ", " : "", dropped);
  if (view.lost[i] > 0)
    AppendText(notes, sizeof notes, noted, "%s%lu LOST", noted > 0 ? ", " : "", view.lost[i]);
  if (noted > 0) AppendText(out, size, used, " (%s)", notes);
}

int StatusLineAt(const LogView& view, int level, char* out, int size) {
  int used = 0;
  out[0] = '\0';
  AppendText(out, size, used, "%s", kStateNames[view.state]);
  if (level >= kStateOnly) return used;
  if (view.product[0] != '\0' && level < kWithoutProduct) {
    AppendText(out, size, used, " %s", view.product);
    if (view.state == kLogLogging && view.baud > 0 && level < kWithoutBaud)
      AppendText(out, size, used, " %u baud", view.baud);
  }
  if (view.freeLow && view.freeBytes >= 0) {
    char amount[24];
    ByteCountText(static_cast<unsigned long long>(view.freeBytes), amount, sizeof amount);
    AppendText(out, size, used, " | DISK LOW: %s free", amount);
  }
  if (view.fix[0] != '\0' && level < kWithoutFix) AppendText(out, size, used, " | %s", view.fix);
  int before = used;
  AppendText(out, size, used, " |");
  int streamsAt = used;
  for (int i = 0; i < 4; ++i) StreamField(view, i, level, out, size, used);
  if (used == streamsAt) {  // no stream left to show: no empty field either
    used = before;
    out[used] = '\0';
  }
  if (view.msSinceLastItem >= 0 && level < kWithoutAge) {
    AppendText(out, size, used, " | last item %.1f s ago",
               static_cast<double>(view.msSinceLastItem) / 1000.0);
  }
  if (view.reconnects > 0 && level < kWithoutReconnects)
    AppendText(out, size, used, " | reconnects %d", view.reconnects);
  return used;
}

}  // namespace

void LogStatusLine(const LogView& view, int columns, char* out, int size) {
  // A line as wide as the terminal would wrap: the last column stays free.
  for (int level = kAllDetails; level <= kStateOnly; ++level) {
    int used = StatusLineAt(view, level, out, size);
    if (columns <= 1 || used <= columns - 1) return;
  }
  if (columns - 1 < size) out[columns - 1] = '\0';  // narrower than the state's own word
}

namespace {

// What was lost in the run, per stream; true when nothing was.
bool LossesText(const StreamLoss losses[4], char* out, int size, int& used) {
  unsigned failures = 0;
  bool lost = false;
  for (int i = 0; i < 4; ++i) {
    failures += losses[i].failures;
    lost = lost || losses[i].items > 0;
  }
  if (failures == 0) {
    AppendText(out, size, used, "stopped; every item is on disk");
    return true;
  }
  if (!lost) {
    AppendText(out, size, used,
               "stopped; no item was lost, but handing the files to the disk failed (see above)");
    return false;
  }
  AppendText(out, size, used, "stopped; items were LOST:");
  const char* separator = " ";
  for (int i = 0; i < 4; ++i) {
    const StreamLoss& loss = losses[i];
    if (loss.items == 0) continue;
    char amount[24], first[32], last[32];
    ByteCountText(loss.bytes, amount, sizeof amount);
    LocalStamp(loss.first, first, sizeof first);
    LocalStamp(loss.last, last, sizeof last);
    AppendText(out, size, used, "%s%s %lu item%s (%s) between %s and %s", separator,
               kStreamNames[i], loss.items, loss.items == 1 ? "" : "s", amount, first, last);
    separator = "; ";
  }
  return false;
}

// "; 3 NMEA sentences from the receiver were not valid and were dropped (2 without a
// checksum, 1 with a wrong checksum)", or nothing.
void DroppedSentencesText(const unsigned long dropped[3], char* out, int size, int& used) {
  static const char* const kWhy[] = {"without a checksum", "with a wrong checksum",
                                     "longer than 255 characters"};
  unsigned long all = dropped[0] + dropped[1] + dropped[2];
  if (all == 0) return;
  const char* verb = all == 1 ? "was" : "were";
  AppendText(out, size, used,
             "; %lu NMEA sentence%s from the receiver %s not valid and %s dropped (", all,
             all == 1 ? "" : "s", verb, verb);
  const char* separator = "";
  for (int why = 0; why < 3; ++why) {
    if (dropped[why] == 0) continue;
    AppendText(out, size, used, "%s%lu %s", separator, dropped[why], kWhy[why]);
    separator = ", ";
  }
  AppendText(out, size, used, ")");
}

}  // namespace

bool LogStopLine(const StreamLoss losses[4], const unsigned long sentencesDropped[3], char* out,
                 int size) {
  int used = 0;
  out[0] = '\0';
  bool whole = LossesText(losses, out, size, used);
  DroppedSentencesText(sentencesDropped, out, size, used);
  return whole;
}

void LogEventLine(std::time_t when, const char* text, char* out, int size) {
  char stamp[32];
  if (!LocalStamp(when, stamp, sizeof stamp)) {
    std::snprintf(out, static_cast<size_t>(size), "%s", text);
    return;
  }
  std::snprintf(out, static_cast<size_t>(size), "%s %s", stamp, text);
}
