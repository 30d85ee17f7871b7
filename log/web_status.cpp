// SPDX-License-Identifier: BSD-2-Clause
#include "log/web_status.h"

#include <cstdarg>
#include <cstdio>

#include "capture/dump_streams.h"

namespace {

// Appends to a fixed buffer; once something did not fit, nothing more is written and the
// whole is reported too small.
struct JsonOut {
  char* out;
  int size;
  int at = 0;
  bool full = false;

  void Add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (full) return;
    va_list args;
    va_start(args, format);
    int wrote = std::vsnprintf(out + at, static_cast<size_t>(size - at), format, args);
    va_end(args);
    if (wrote < 0 || wrote >= size - at) {
      full = true;
      return;
    }
    at += wrote;
  }

  // A JSON string: quotes, backslashes, control characters and bytes beyond ASCII
  // (a receiver's text is not UTF-8: each byte is taken as Latin-1) escaped.
  void String(const char* text) {
    Add("\"");
    for (const char* c = text; *c != '\0'; ++c) {
      auto byte = static_cast<unsigned char>(*c);
      if (byte == '"' || byte == '\\') {
        Add("\\%c", byte);
      } else if (byte < 0x20 || byte >= 0x7F) {
        Add("\\u%04x", byte);
      } else {
        Add("%c", byte);
      }
    }
    Add("\"");
  }
};

void AddFix(JsonOut& json, const FixState& fix, bool fresh) {
  char fixClass[48];
  json.Add(",\"fix\":{\"fresh\":%s,\"class\":", fresh ? "true" : "false");
  json.String(FixClassName(fix, fixClass, sizeof fixClass));
  json.Add(",\"used\":%d,\"hdop\":%.2f,\"position\":%s,\"latitude\":%.9f,\"longitude\":%.9f",
           SatellitesUsed(fix), fix.hdop, fix.havePosition ? "true" : "false", fix.latitude,
           fix.longitude);
  json.Add(",\"satellites\":[");
  for (int i = 0; i < fix.satelliteCount; ++i) {
    const SatelliteInView& satellite = fix.satellites[i];
    char label[16];
    SatelliteLabel(satellite, label, sizeof label);
    json.Add("%s{\"label\":", i == 0 ? "" : ",");
    json.String(label);
    json.Add(",\"el\":%d,\"az\":%d,\"snr\":%d,\"used\":%s}", satellite.elevation, satellite.azimuth,
             satellite.signal, satellite.used ? "true" : "false");
  }
  json.Add("]}");
}

}  // namespace

int WebStatusJson(const WebStatusView& view, char* out, int size) {
  JsonOut json{out, size};
  const MetricsView& metrics = view.metrics;
  json.Add("{\"status\":{\"state\":");
  json.String(view.state);
  json.Add(",\"product\":");
  json.String(metrics.product);
  json.Add(",\"firmware\":");
  json.String(metrics.firmware);
  json.Add(",\"device\":");
  json.String(metrics.device);
  json.Add(",\"logging\":%s,\"streams\":[", view.logging ? "true" : "false");
  for (int i = 0; i < kDumpStreamCount; ++i) {
    json.Add("%s{\"name\":", i == 0 ? "" : ",");
    json.String(kDumpStreams[i].baseName);
    json.Add(",\"items\":%lu,\"lost\":%lu}", metrics.items[i], metrics.lost[i]);
  }
  json.Add("],\"freeBytes\":%lld,\"freeLow\":%s", metrics.freeBytes,
           metrics.freeLow ? "true" : "false");
  if (view.fix != nullptr) AddFix(json, *view.fix, view.fixFresh);
  json.Add("}}");
  return json.full ? -1 : json.at;
}
