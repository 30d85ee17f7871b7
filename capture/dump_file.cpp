// SPDX-License-Identifier: BSD-2-Clause
#include "capture/dump_file.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/local_time.h"
#include "base/status_message.h"
#include "capture/dump_losses.h"
#include "capture/dump_news.h"
#include "capture/earlier_file.h"
#include "capture/folder_text.h"

namespace {

constexpr Tick kSyncEveryMs = 1000;
constexpr Tick kCheckEveryMs = 1000;

void JoinPath(const char* directory, const char* name, char* out, size_t size) {
  const char* separator = directory[0] != '\0' ? "/" : "";
  // A name too long for the buffer ends cut; opening it then fails and says which.
  if (std::snprintf(out, size, "%s%s%s", directory, separator, name) < 0) out[0] = '\0';
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

}  // namespace

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

void SplitDumpName(const char* baseName, std::time_t start, int split, char* out, size_t size) {
  std::tm utc = {};
  if (!UtcTime(start, utc)) utc = std::tm();
  char folder[16], stamp[16];
  std::strftime(folder, sizeof folder, "%Y/%j", &utc);
  std::strftime(stamp, sizeof stamp, split == kSplitHour ? "%Y%m%d-%H" : "%Y%m%d", &utc);
  std::snprintf(out, size, "%s/%s-%s.dmp", folder, baseName, stamp);
}
