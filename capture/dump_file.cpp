// SPDX-License-Identifier: BSD-2-Clause
#include "capture/dump_file.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <system_error>

#include "capture/keep_file.h"
#include "link/local_time.h"
#include "link/status_message.h"
#include "link/trace.h"

namespace {

constexpr int kPathSize = 512;
constexpr int kMaxKeptNames = 100;  // posn-...-2.dmp to posn-...-100.dmp for one second

void JoinPath(const char* directory, const char* name, char* out, size_t size) {
  const char* separator = directory[0] != '\0' ? "/" : "";
  std::snprintf(out, size, "%s%s%s", directory, separator, name);
}

// Tells the user once per logging period; the item is lost either way.
void ReportDumpFailure(DumpSlot& slot, unsigned period, const char* verb, const char* name,
                       int error) {
  if (slot.reportedPeriod == period + 1) return;
  slot.reportedPeriod = period + 1;
  char text[400];
  std::snprintf(text, sizeof text, "Could not %s %s: %s", verb, name, std::strerror(error));
  ShowStatusFailure(text);
}

// Moves a file that holds data out of a new period's way. false when it stays where it
// is (shown): the period then writes on at its end, so that nothing is lost.
bool KeepEarlierDump(const char* directory, DumpStreamId stream, const char* path) {
  struct stat info;
  if (stat(path, &info) != 0 || info.st_size == 0) return true;  // nothing to keep
  const char* base = kDumpStreams[stream].baseName;
  char keptName[64];
  char keptPath[kPathSize];
  int error = EEXIST;
  for (int attempt = 1; attempt <= kMaxKeptNames && error == EEXIST; ++attempt) {
    KeptDumpName(base, info.st_mtime, attempt, keptName, sizeof keptName);
    JoinPath(directory, keptName, keptPath, sizeof keptPath);
    error = RenameWithoutReplacing(path, keptPath);
  }
  char text[400];
  if (error == 0) {
    std::snprintf(text, sizeof text, "Kept the earlier %s.dmp as %s", base, keptName);
    ShowStatusMessage(text);
    return true;
  }
  std::snprintf(text, sizeof text,
                "Could not keep the earlier %s.dmp as %s: %s; logging on at its end", base,
                keptName, std::strerror(error));
  ShowStatusFailure(text);
  return false;
}

// Opens the stream's file for this period: on at its end when the period already wrote
// it, else afresh once an earlier file has been kept.
bool OpenDump(const char* directory, DumpStreamId stream, unsigned period, DumpSlot& slot) {
  char name[16];
  std::snprintf(name, sizeof name, "%s.dmp", kDumpStreams[stream].baseName);
  char path[kPathSize];
  JoinPath(directory, name, path, sizeof path);
  bool append = slot.period == period || !KeepEarlierDump(directory, stream, path);
  slot.file = std::fopen(path, append ? "ab" : "wb");
  if (slot.file == nullptr) {
    ReportDumpFailure(slot, period, "open", name, errno);
    return false;
  }
  slot.period = period;
  return true;
}

}  // namespace

const DumpStream kDumpStreams[kDumpStreamCount] = {
    {"posn"},
    {"obsd"},
    {"corr"},
    {"nmea"},
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

void WriteDump(const LoggingSwitch& logging, const char* directory, DumpStreamId stream,
               const uint8_t* bytes, int count, DumpSlot& slot) {
  unsigned state = logging.state.load();
  if ((state & 1u) == 0) {
    CloseDump(slot);
    return;
  }
  unsigned period = state >> 1;
  if (slot.file != nullptr && slot.period != period) CloseDump(slot);  // a new period
  if (slot.file == nullptr && !OpenDump(directory, stream, period, slot)) return;
  size_t written = std::fwrite(bytes, 1, static_cast<size_t>(count), slot.file);
  if (std::fflush(slot.file) != 0 || written != static_cast<size_t>(count)) {
    char name[16];
    std::snprintf(name, sizeof name, "%s.dmp", kDumpStreams[stream].baseName);
    ReportDumpFailure(slot, period, "write", name, errno);
  }
}

void KeptDumpName(const char* baseName, std::time_t written, int attempt, char* out, size_t size) {
  std::tm local = {};
  char stamp[32] = "00000000-000000";
  if (LocalTime(written, local)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  if (attempt > 1) {
    std::snprintf(out, size, "%s-%s-%d.dmp", baseName, stamp, attempt);
  } else {
    std::snprintf(out, size, "%s-%s.dmp", baseName, stamp);
  }
}

void DumpDirectoryText(const char* directory, char* out, size_t size) {
  std::error_code error;
  std::filesystem::path where =
      std::filesystem::absolute(directory[0] != '\0' ? directory : ".", error);
  if (error) {
    std::snprintf(out, size, "%s", directory[0] != '\0' ? directory : "the current directory");
    return;
  }
  std::snprintf(out, size, "%s", where.lexically_normal().string().c_str());
}
