// SPDX-License-Identifier: BSD-2-Clause
#include "log/metrics_text.h"

#include <cstdio>

#include "base/append_text.h"

namespace {

const char* const kStreamNames[4] = {"posn", "obsd", "corr", "nmea"};

void Header(char* out, int size, int& used, const char* name, const char* type, const char* help) {
  AppendText(out, size, used, "# HELP %s %s\n# TYPE %s %s\n", name, help, name, type);
}

// A label's value with backslash, double quote and line feed escaped.
void AppendLabelValue(char* out, int size, int& used, const char* value) {
  for (const char* at = value; *at != '\0'; ++at) {
    if (*at == '\\' || *at == '"') {
      AppendText(out, size, used, "\\%c", *at);
    } else if (*at == '\n') {
      AppendText(out, size, used, "\\n");
    } else {
      AppendText(out, size, used, "%c", *at);
    }
  }
}

template <typename T>
void PerStream(char* out, int size, int& used, const char* name, const char* type, const char* help,
               const T (&values)[4], const char* format) {
  Header(out, size, used, name, type, help);
  for (int i = 0; i < 4; ++i) {
    AppendText(out, size, used, "%s{stream=\"%s\"} ", name, kStreamNames[i]);
    AppendText(out, size, used, format, values[i]);
    AppendText(out, size, used, "\n");
  }
}

void ReceiverInfo(const MetricsView& view, char* out, int size, int& used) {
  Header(out, size, used, "tarnex_receiver_info", "gauge",
         "The receiver last identified: product, firmware, device and baud rate.");
  if (view.product[0] == '\0') return;
  AppendText(out, size, used, "tarnex_receiver_info{product=\"");
  AppendLabelValue(out, size, used, view.product);
  AppendText(out, size, used, "\",firmware=\"");
  AppendLabelValue(out, size, used, view.firmware);
  AppendText(out, size, used, "\",device=\"");
  AppendLabelValue(out, size, used, view.device);
  AppendText(out, size, used, "\",baud=\"%u\"} 1\n", view.baud);
}

void Fix(const MetricsView& view, char* out, int size, int& used) {
  if (!view.fixKnown) return;  // a receiver without sentences has no fix to tell
  Header(out, size, used, "tarnex_fix_quality", "gauge",
         "GGA fix quality: 0 none, 1 GPS, 2 DGPS, 4 RTK fixed, 5 RTK float, 6 estimated.");
  AppendText(out, size, used, "tarnex_fix_quality %d\n", view.fixQuality);
  if (view.satellitesUsed >= 0) {
    Header(out, size, used, "tarnex_fix_satellites_used", "gauge", "Satellites in the fix.");
    AppendText(out, size, used, "tarnex_fix_satellites_used %d\n", view.satellitesUsed);
  }
  if (view.hdop >= 0) {
    Header(out, size, used, "tarnex_fix_hdop", "gauge", "Horizontal dilution of precision.");
    AppendText(out, size, used, "tarnex_fix_hdop %.2f\n", view.hdop);
  }
}

}  // namespace

int MetricsText(const MetricsView& view, char* out, int size) {
  int used = 0;
  out[0] = '\0';
  Header(out, size, used, "tarnex_connected", "gauge",
         "1 while the receiver is connected and logged.");
  AppendText(out, size, used, "tarnex_connected %d\n", view.connected ? 1 : 0);
  ReceiverInfo(view, out, size, used);
  PerStream(out, size, used, "tarnex_items_total", "counter", "Items written to the dump files.",
            view.items, "%lu");
  PerStream(out, size, used, "tarnex_bytes_total", "counter", "Bytes written to the dump files.",
            view.bytes, "%llu");
  PerStream(out, size, used, "tarnex_items_lost_total", "counter",
            "Items that could not be written.", view.lost, "%lu");
  PerStream(out, size, used, "tarnex_file_size_bytes", "gauge",
            "The length of each stream's current dump file.", view.fileBytes, "%lld");
  Header(out, size, used, "tarnex_last_item_age_seconds", "gauge",
         "Seconds since the last item was written, or since the start before any.");
  AppendText(out, size, used, "tarnex_last_item_age_seconds %.1f\n", view.lastItemAgeSeconds);
  Header(out, size, used, "tarnex_reconnects_total", "counter",
         "Times the receiver was lost and connected again.");
  AppendText(out, size, used, "tarnex_reconnects_total %lu\n", view.reconnects);
  if (view.freeBytes >= 0) {
    Header(out, size, used, "tarnex_free_bytes", "gauge",
           "Free space for the dump files on their file system.");
    AppendText(out, size, used, "tarnex_free_bytes %lld\n", view.freeBytes);
  }
  Header(out, size, used, "tarnex_free_low", "gauge",
         "1 while the free space is below --min-free.");
  AppendText(out, size, used, "tarnex_free_low %d\n", view.freeLow ? 1 : 0);
  Fix(view, out, size, used);
  return used < size - 1 ? used : -1;
}
