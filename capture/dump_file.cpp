#include "capture/dump_file.h"

#include <errno.h>

#include <cstring>

#include "link/status_message.h"
#include "link/trace.h"

const DumpStream kDumpStreams[kDumpStreamCount] = {
    {"posn", true},
    {"obsd", true},
    {"corr", true},
    {"nmea", false},
};

int DumpStreamForPacketType(uint8_t type) {
  switch (type) {
    case 0x40:
      return kPosnStream;
    case 0x57:
      return kObsdStream;
    case 0x93:
    case 0x94:
      return kCorrStream;
    default:
      return -1;
  }
}

void SetLogging(LoggingSwitch& logging, int on) {
  unsigned state = logging.state.load();
  unsigned next;
  do {
    bool wasOn = (state & 1u) != 0;
    unsigned period = state >> 1;
    if (on && !wasOn) ++period;
    next = (period << 1) | (on ? 1u : 0u);
  } while (!logging.state.compare_exchange_weak(state, next));
}

int LoggingOn(const LoggingSwitch& logging) {
  return (logging.state.load() & 1u) ? 1 : 0;
}

void CloseDump(DumpSlot& slot) {
  if (slot.file == nullptr) return;
  if (std::fclose(slot.file) != 0) Trace("closing a dump file failed: %s", std::strerror(errno));
  slot.file = nullptr;
}

// Tells the user once per logging period; the item is lost either way.
static void ReportDumpFailure(DumpSlot& slot, unsigned period, const char* verb, const char* name,
                              int error) {
  if (slot.reportedPeriod == period + 1) return;
  slot.reportedPeriod = period + 1;
  char text[400];
  std::snprintf(text, sizeof text, "Could not %s %s: %s", verb, name, std::strerror(error));
  ShowStatusMessage(text);
}

static void FileName(const char* directory, DumpStreamId stream, char* out, size_t size) {
  const char* separator = directory[0] != '\0' ? "/" : "";
  std::snprintf(out, size, "%s%s%s.dmp", directory, separator, kDumpStreams[stream].baseName);
}

void WriteDump(const LoggingSwitch& logging, const char* directory, DumpStreamId stream,
               const uint8_t* bytes, int count, DumpSlot& slot) {
  unsigned state = logging.state.load();
  if ((state & 1u) == 0) {
    CloseDump(slot);
    return;
  }
  unsigned period = state >> 1;
  if (slot.file != nullptr && slot.period != period) CloseDump(slot);  // a new period
  char shortName[16];
  std::snprintf(shortName, sizeof shortName, "%s.dmp", kDumpStreams[stream].baseName);
  if (slot.file == nullptr) {
    char name[512];
    FileName(directory, stream, name, sizeof name);
    slot.file = std::fopen(name, kDumpStreams[stream].binary ? "wb" : "w");
    if (slot.file == nullptr) {
      ReportDumpFailure(slot, period, "open", shortName, errno);
      return;
    }
    slot.period = period;
  }
  size_t written = std::fwrite(bytes, 1, static_cast<size_t>(count), slot.file);
  if (std::fflush(slot.file) != 0 || written != static_cast<size_t>(count)) {
    ReportDumpFailure(slot, period, "write", shortName, errno);
  }
}
