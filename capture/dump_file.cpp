// SPDX-License-Identifier: BSD-2-Clause
#include "capture/dump_file.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/local_time.h"
#include "base/regular_file.h"
#include "base/status_message.h"
#include "capture/dump_news.h"
#include "capture/folder_lock.h"
#include "capture/keep_file.h"
#include "link/packet_type.h"

namespace {

constexpr int kMaxKeptNames = 100;  // posn-...-2.dmp to posn-...-100.dmp for one second
constexpr Tick kSyncEveryMs = 1000;
constexpr Tick kCheckEveryMs = 1000;
constexpr uint64_t kPageSize = 4096;

void JoinPath(const char* directory, const char* name, char* out, size_t size) {
  const char* separator = directory[0] != '\0' ? "/" : "";
  // A name too long for the buffer ends cut; opening it then fails and says which.
  if (std::snprintf(out, size, "%s%s%s", directory, separator, name) < 0) out[0] = '\0';
}

// News of a file, for the front ends to word.
StatusEvent DumpEvent(int news, int kind, const char* path) {
  StatusEvent event;
  event.news = news;
  event.kind = kind;
  event.path = path;
  return event;
}

void CountLoss(DumpSlot& slot, unsigned long items, unsigned long long bytes, std::time_t when) {
  DumpCount& count = slot.count;
  count.lostItems += items;
  count.lostBytes += bytes;
  long long none = 0;
  count.firstLoss.compare_exchange_strong(none, static_cast<long long>(when));
  count.lastLoss = static_cast<long long>(when);
}

// An item that could not be written: the first of a spell is said, each is counted.
int LoseItem(DumpSlot& slot, int itemBytes, const char* verb, int error, const DumpClock& now) {
  if (!slot.failing) {
    slot.failing = true;
    slot.spellItems = 0;
    slot.spellBytes = 0;
    slot.spellFrom = now.wall;
    ++slot.count.failures;
    slot.count.failing = true;
    StatusEvent event = DumpEvent(kDumpWriteFailing, kStatusFailure, slot.shownPath);
    event.other = verb;
    event.error = error;
    ShowStatusEvent(event);
  }
  ++slot.spellItems;
  slot.spellBytes += static_cast<unsigned long long>(itemBytes);
  slot.spellTo = now.wall;
  CountLoss(slot, 1, static_cast<unsigned long long>(itemBytes), now.wall);
  return -1;
}

void EndSpell(DumpSlot& slot) {
  slot.failing = false;
  slot.count.failing = false;
  StatusEvent event = DumpEvent(kDumpWritingAgain, kStatusFailure, slot.shownPath);
  event.items = slot.spellItems;
  event.bytes = slot.spellBytes;
  event.from = slot.spellFrom;
  event.to = slot.spellTo;
  ShowStatusEvent(event);
}

// Moves a file that holds data out of a new period's way. false when it stays where it
// is (shown): the period then writes on at its end, so that nothing is lost.
bool KeepEarlierDump(const char* path) {
  char kept[kDumpPathSize];
  int error = KeepEarlierFile(path, kept, sizeof kept);
  if (kept[0] == '\0' && error == 0) return true;  // nothing to keep
  if (error == 0) {
    StatusEvent event = DumpEvent(kDumpFileKept, kStatusProgress, path);
    event.other = kept;
    ShowStatusEvent(event);
    return true;
  }
  StatusEvent event = DumpEvent(kDumpKeepFailed, kStatusFailure, path);
  event.error = error;
  ShowStatusEvent(event);
  return false;
}

// Opens the stream's file for this period: on at its end when the period already wrote
// it, else afresh once an earlier file has been kept. A split file is always written on at
// its end: a run that restarts within its hour or day continues it. A folder that is gone
// is made again; a symbolic link in the way, or a name taken by what is not a regular file,
// is refused. 0 or the error number.
int OpenDump(const char* directory, DumpStreamId stream, unsigned period, DumpSlot& slot,
             std::time_t splitStart, int split) {
  char name[64];
  if (split != kNoSplit) {
    SplitDumpName(kDumpStreams[stream].baseName, splitStart, split, name, sizeof name);
  } else {
    std::snprintf(name, sizeof name, "%s.dmp", kDumpStreams[stream].baseName);
  }
  char path[kDumpPathSize];
  JoinPath(directory, name, path, sizeof path);
  if (std::strcmp(path, slot.path) != 0 || slot.shownPath[0] == '\0') {
    // Worked out once for each place, not again at every try of a failing spell.
    std::snprintf(slot.path, sizeof slot.path, "%s", path);
    char folder[kDumpPathSize];
    DumpDirectoryText(directory, folder, sizeof folder);
    std::string shown = (std::filesystem::path(folder) / name).string();  // the system's way
    std::snprintf(slot.shownPath, sizeof slot.shownPath, "%s", shown.c_str());
  }
  if (slot.period != period && split == kNoSplit) KeepEarlierDump(slot.path);
  int error = OpenDumpFile(directory, name, slot.file);
  if (error == 0) error = DumpFileSize(slot.file, slot.wholeSize);
  if (error != 0) {
    CloseDumpFile(slot.file);
    return error;
  }
  slot.count.fileBytes = slot.wholeSize;
  slot.period = period;
  slot.splitStart = splitStart;
  slot.torn = false;
  slot.syncFailed = false;
  return 0;
}

// A split file whose hour or day is over: handed to the disk, closed and said with its size.
void CloseSplitDump(DumpSlot& slot) {
  StatusEvent event = DumpEvent(kDumpFileClosed, kStatusProgress, slot.shownPath);
  event.bytes = slot.wholeSize;
  CloseDump(slot);
  ShowStatusEvent(event);
}

// Now and then: is the open file still the one at its path? Items written into a file
// that was removed are counted as lost (and stay counted as written: a count that went
// down would read as a restart to a monitor); either way the file is made anew.
void CheckInPlace(DumpSlot& slot, const DumpClock& now) {
  if (now.tick - slot.checkedTick < kCheckEveryMs) return;
  DumpFilePlace place = PlaceOfDumpFile(slot.file, slot.path);
  if (place != kDumpInPlace) {
    bool removed = place == kDumpRemoved;
    StatusEvent event =
        DumpEvent(removed ? kDumpFileRemoved : kDumpFileMoved, kStatusFailure, slot.shownPath);
    event.items = slot.uncheckedItems;
    event.bytes = slot.uncheckedBytes;
    event.from = slot.checkedAt;
    if (removed) {  // lost; the written counts only ever grow, as a monitor's counters do
      slot.count.removedItems += slot.uncheckedItems;
      slot.count.removedBytes += slot.uncheckedBytes;
      CountLoss(slot, slot.uncheckedItems, slot.uncheckedBytes, now.wall);
      ++slot.count.failures;
    }
    ShowStatusEvent(event);
    CloseDumpFile(slot.file);
    slot.unsynced = false;
  }
  slot.checkedTick = now.tick;
  slot.checkedAt = now.wall;
  slot.uncheckedItems = 0;
  slot.uncheckedBytes = 0;
}

// Writes the item behind the last whole one; a failure takes back what part of it got in.
int WriteItem(DumpSlot& slot, const uint8_t* bytes, int count, const char*& verb) {
  if (slot.torn) {
    verb = "repair";
    int error = TruncateDumpFile(slot.file, slot.wholeSize);
    if (error != 0) return error;
    slot.torn = false;
  }
  verb = "write";
  int error = WriteWhole(slot.file, bytes, count);
  if (error != 0 && TruncateDumpFile(slot.file, slot.wholeSize) != 0) slot.torn = true;
  return error;
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
    case TypeByte(PacketType::kPositionRecord):
      return kPosnStream;
    case TypeByte(PacketType::kRawObservation):
      return kObsdStream;
    case TypeByte(PacketType::kCorrection):
    case TypeByte(PacketType::kCorrectionMore):
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

bool SyncDump(DumpSlot& slot, const DumpClock& now, bool force) {
  if (slot.file.handle < 0 || !slot.unsynced) return false;
  if (!force && now.tick - slot.syncedTick < kSyncEveryMs) return true;
  int error = SyncDumpFile(slot.file);
  slot.syncedTick = now.tick;
  slot.unsynced = false;
  if (error != 0 && !slot.syncFailed) {
    slot.syncFailed = true;  // once for each file opened
    ++slot.count.failures;
    StatusEvent event = DumpEvent(kDumpSyncFailed, kStatusFailure, slot.shownPath);
    event.error = error;
    ShowStatusEvent(event);
  }
  return false;
}

void CloseDump(DumpSlot& slot) {
  if (slot.file.handle < 0) return;
  SyncDump(slot, DumpClock{}, true);
  CloseDumpFile(slot.file);
}

namespace {

// The file for what arrives `now`, open: one of an earlier period, hour or day is closed
// first, and one that is no longer in its place is made anew. 0 or the error of opening.
int ReadyDump(const char* directory, DumpStreamId stream, unsigned period, DumpSlot& slot,
              const DumpClock& now, int split) {
  std::time_t splitStart = split != kNoSplit ? now.wall - now.wall % split : 0;  // UTC
  if (slot.file.handle >= 0 && slot.period != period) CloseDump(slot);           // a new period
  if (slot.file.handle >= 0 && slot.splitStart != splitStart) CloseSplitDump(slot);
  if (slot.file.handle >= 0) CheckInPlace(slot, now);
  if (slot.file.handle >= 0) return 0;
  int error = OpenDump(directory, stream, period, slot, splitStart, split);
  if (error != 0) return error;
  if (split != kNoSplit && slot.writtenPeriods != nullptr)
    NoteWrittenPeriod(*slot.writtenPeriods, splitStart, split, now.wall, now.tick);
  slot.checkedTick = now.tick;
  slot.checkedAt = now.wall;
  slot.syncedTick = now.tick;
  return 0;
}

void CountWritten(DumpSlot& slot, unsigned long items, unsigned long long bytes,
                  const DumpClock& now) {
  slot.wholeSize += bytes;
  slot.count.fileBytes = slot.wholeSize;
  if (slot.failing) EndSpell(slot);
  slot.uncheckedItems += items;
  slot.uncheckedBytes += bytes;
  slot.count.bytes += bytes;
  slot.count.lastItemTick = now.tick;
  slot.count.items += items;
  slot.unsynced = true;
}

}  // namespace

namespace {

// The items from `first` on that one write may take: up to the one that reaches the file's
// next page boundary. A write that a fatal signal (SIGKILL) interrupts stops at a page
// boundary, so an item can then be cut only where, written alone, it could be too: where
// it straddles one. `last` is the group's last item; returns its bytes.
int WritableGroup(const DumpSlot& slot, const uint16_t* lengths, int first, int items, int& last) {
  uint64_t boundary = (slot.wholeSize / kPageSize + 1) * kPageSize;
  int count = lengths[first];
  last = first;
  while (last + 1 < items && slot.wholeSize + static_cast<uint64_t>(count) < boundary)
    count += lengths[++last];
  return count;
}

// As WriteDumpItems, in the logging period `state` names; -1 when logging is off.
int WriteItemsInPeriod(unsigned state, const char* directory, DumpStreamId stream,
                       const uint8_t* bytes, const uint16_t* lengths, int items, DumpSlot& slot,
                       const DumpClock& now, int split) {
  if ((state & 1u) == 0) {
    CloseDump(slot);
    return -1;
  }
  int error = ReadyDump(directory, stream, state >> 1, slot, now, split);
  if (error != 0) {
    for (int i = 0; i < items; ++i) LoseItem(slot, lengths[i], "open", error, now);
    return 0;
  }
  const char* verb = "write";
  int written = 0;
  for (int first = 0, at = 0; first < items;) {
    int last = 0, count = WritableGroup(slot, lengths, first, items, last);
    if (last > first && WriteItem(slot, bytes + at, count, verb) == 0) {
      CountWritten(slot, static_cast<unsigned long>(last - first + 1),
                   static_cast<unsigned long long>(count), now);
      written += last - first + 1;
      first = last + 1;
      at += count;
      continue;
    }
    // Alone, or after the group did not fit: whole or not at all, so that every item that
    // still fits is kept and every other is counted as lost.
    error = WriteItem(slot, bytes + at, lengths[first], verb);
    if (error != 0) {
      LoseItem(slot, lengths[first], verb, error, now);
    } else {
      CountWritten(slot, 1, lengths[first], now);
      ++written;
    }
    at += lengths[first++];
  }
  SyncDump(slot, now, false);
  return written;
}

}  // namespace

int WriteDumpItems(const LoggingSwitch& logging, const char* directory, DumpStreamId stream,
                   const uint8_t* bytes, const uint16_t* lengths, int items, DumpSlot& slot,
                   const DumpClock& now, int split) {
  int written = WriteItemsInPeriod(logging.state.load(), directory, stream, bytes, lengths, items,
                                   slot, now, split);
  return written > 0 ? written : 0;
}

int WriteDump(const LoggingSwitch& logging, const char* directory, DumpStreamId stream,
              const uint8_t* bytes, int count, DumpSlot& slot, const DumpClock& now, int split) {
  auto length = static_cast<uint16_t>(count);
  int written = WriteItemsInPeriod(logging.state.load(), directory, stream, bytes, &length, 1, slot,
                                   now, split);
  return written == 1 ? 1 : written < 0 ? 0 : -1;
}

void SplitDumpName(const char* baseName, std::time_t start, int split, char* out, size_t size) {
  std::tm utc = {};
  if (!UtcTime(start, utc)) utc = std::tm();
  char folder[16], stamp[16];
  std::strftime(folder, sizeof folder, "%Y/%j", &utc);
  std::strftime(stamp, sizeof stamp, split == kSplitHour ? "%Y%m%d-%H" : "%Y%m%d", &utc);
  std::snprintf(out, size, "%s/%s-%s.dmp", folder, baseName, stamp);
}

namespace {

void KeptName(const std::string& stem, const char* extension, std::time_t written, int attempt,
              char* out, size_t size) {
  std::tm local = {};
  char stamp[32] = "00000000-000000";
  if (LocalTime(written, local)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  if (attempt > 1) {
    std::snprintf(out, size, "%s-%s-%d%s", stem.c_str(), stamp, attempt, extension);
  } else {
    std::snprintf(out, size, "%s-%s%s", stem.c_str(), stamp, extension);
  }
}

}  // namespace

void KeptDumpName(const char* baseName, std::time_t written, int attempt, char* out, size_t size) {
  KeptName(baseName, ".dmp", written, attempt, out, size);
}

int KeepEarlierFile(const char* path, char* kept, size_t size) {
  kept[0] = '\0';
  int what = RegularFileAt(path);
  if (what == ELOOP || what == kNotRegularFile) return what;  // a folder, a link: not moved
  if (what != 0) return 0;  // nothing there (or nothing to be seen): the open says why
  struct stat info;
  if (stat(path, &info) != 0 || info.st_size == 0) return 0;
  const char* slash = std::strrchr(path, '/');
  const char* name = slash != nullptr ? slash + 1 : path;
  const char* dot = std::strrchr(name, '.');
  if (dot == nullptr || dot == name) dot = name + std::strlen(name);
  std::string stem(path, static_cast<size_t>(dot - path));
  int error = EEXIST;
  for (int attempt = 1; attempt <= kMaxKeptNames && error == EEXIST; ++attempt) {
    KeptName(stem, dot, info.st_mtime, attempt, kept, size);
    error = RenameWithoutReplacing(path, kept);
  }
  return error;
}

void DumpDirectoryText(const char* directory, char* out, size_t size) {
  std::error_code error;
  std::filesystem::path where =
      std::filesystem::absolute(directory[0] != '\0' ? directory : ".", error);
  if (error) {
    std::snprintf(out, size, "%s", directory[0] != '\0' ? directory : "the current directory");
    return;
  }
  where = where.lexically_normal();
  if (!where.has_filename() && where.has_parent_path() && where != where.root_path()) {
    where = where.parent_path();  // "/home/ann/logs/" from "logs/." or "logs/"
  }
  std::snprintf(out, size, "%s", where.string().c_str());
}

void FolderLockText(int error, const char* directory, const char* holder, char* out, size_t size) {
  char folder[kDumpPathSize];
  DumpDirectoryText(directory, folder, sizeof folder);
  if (error == EBUSY) {
    std::snprintf(out, size, "Could not log into %s: it is already being logged into by %s", folder,
                  holder[0] != '\0' ? holder : "another program");
  } else {
    std::snprintf(out, size, "Could not log into %s: its .tarnex.lock: %s", folder,
                  FileErrorText(error));
  }
}
