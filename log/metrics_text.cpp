// SPDX-License-Identifier: BSD-2-Clause
#include "log/metrics_text.h"

#include <cstdio>

#include "base/append_text.h"

namespace {

const char* const kStreamNames[4] = {"posn", "obsd", "corr", "nmea"};

void Header(char* out, int size, int& used, const char* name, const char* type, const char* help) {
  AppendText(out, size, used, "# HELP %s %s\n# TYPE %s %s\n", name, help, name, type);
}

// The length of the valid UTF-8 sequence at `at` (1 to 4), or 0 when it is not one: a
// stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF, or cut short.
int Utf8Length(const unsigned char* at) {
  unsigned char lead = at[0];
  if (lead < 0x80) return 1;
  int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4) return 0;
  for (int i = 1; i < length; ++i) {
    if ((at[i] & 0xC0) != 0x80) return 0;
  }
  if (lead == 0xE0 && at[1] < 0xA0) return 0;  // overlong
  if (lead == 0xED && at[1] > 0x9F) return 0;  // a surrogate
  if (lead == 0xF0 && at[1] < 0x90) return 0;  // overlong
  if (lead == 0xF4 && at[1] > 0x8F) return 0;  // beyond U+10FFFF
  return length;
}

// A label's value as the format asks: valid UTF-8 (a byte that is not is replaced by
// U+FFFD, so that one odd byte in a receiver's name cannot spoil the whole scrape), with
// backslash, double quote and line feed escaped.
void AppendLabelValue(char* out, int size, int& used, const char* value) {
  const auto* at = reinterpret_cast<const unsigned char*>(value);
  while (*at != '\0') {
    int length = Utf8Length(at);
    if (length == 0) {
      AppendText(out, size, used, "\xEF\xBF\xBD");
      ++at;
    } else if (*at == '\\' || *at == '"') {
      AppendText(out, size, used, "\\%c", *at++);
    } else if (*at == '\n') {
      AppendText(out, size, used, "\\n");
      ++at;
    } else {
      AppendText(out, size, used, "%.*s", length, reinterpret_cast<const char*>(at));
      at += length;
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

void Sharing(const MetricsView& view, char* out, int size, int& used) {
  const struct {
    const char* name;
    const char* type;
    const char* help;
    unsigned long value;
  } rows[] = {
      {"tarnex_share_clients", "gauge", "Clients attached through --share and --nmea-out.",
       static_cast<unsigned long>(view.clientsAttached)},
      {"tarnex_share_keys_forwarded_total", "counter", "Keys from clients sent on to the receiver.",
       view.keysForwarded},
      {"tarnex_share_keys_refused_total", "counter",
       "Keys and commands from clients that may only watch, not sent on.", view.keysRefused},
      {"tarnex_share_clients_dropped_total", "counter",
       "Clients dropped because they did not keep up.", view.clientsDropped},
  };
  for (const auto& row : rows) {
    Header(out, size, used, row.name, row.type, row.help);
    AppendText(out, size, used, "%s %lu\n", row.name, row.value);
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
  PerStream(out, size, used, "tarnex_items_total", "counter",
            "Items written to the dump files (those that went with a removed file too).",
            view.items, "%lu");
  PerStream(out, size, used, "tarnex_bytes_total", "counter", "Bytes written to the dump files.",
            view.bytes, "%llu");
  PerStream(out, size, used, "tarnex_items_lost_total", "counter",
            "Items that could not be written, or went with a removed file.", view.lost, "%lu");
  PerStream(out, size, used, "tarnex_file_size_bytes", "gauge",
            "The length of each stream's current dump file.", view.fileBytes, "%lld");
  Header(out, size, used, "tarnex_sentences_dropped_total", "counter",
         "NMEA sentences from the receiver that were not valid, and so not logged.");
  static const char* const kReasons[] = {"no_checksum", "wrong_checksum", "too_long"};
  for (int why = 0; why < 3; ++why) {
    AppendText(out, size, used, "tarnex_sentences_dropped_total{reason=\"%s\"} %lu\n",
               kReasons[why], view.sentencesDropped[why]);
  }
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
  if (view.sharing) Sharing(view, out, size, used);
  return used < size - 1 ? used : -1;
}
