// SPDX-License-Identifier: BSD-2-Clause
#include "capture/split_retention.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/local_time.h"
#include "base/regular_file.h"
#include "capture/dump_file.h"
#include "capture/log_tree.h"

namespace {

constexpr size_t kMaxDeletionsPerLook = 10000;  // more wait for the next look
constexpr size_t kMaxFailuresSaid = 8;          // in one look; the rest are counted

// The value of `count` digits, or -1 when they are not all digits.
int Digits(const char* text, int count) {
  int value = 0;
  for (int i = 0; i < count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool AllDigits(const char* text, size_t length) {
  return std::strlen(text) == length && Digits(text, static_cast<int>(length)) >= 0;
}

std::string Plural(int64_t count, const char* unit) {
  return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}

// "400 days", "36 hours", "90 minutes", "56 years": the unit that keeps the number short,
// rounded to the nearest.
std::string DurationText(int64_t seconds) {
  static const struct {
    int64_t seconds;
    const char* name;
  } kUnits[] = {{365 * 86400LL, "year"}, {86400, "day"}, {3600, "hour"}, {60, "minute"}};
  int64_t size = seconds < 0 ? -seconds : seconds;
  for (const auto& unit : kUnits) {
    if (size >= 2 * unit.seconds)
      return Plural((size + unit.seconds / 2) / unit.seconds, unit.name);
  }
  return Plural(size, "second");
}

std::string UtcText(int64_t when) {
  std::tm utc = {};
  char text[40] = "?";
  if (UtcTime(static_cast<std::time_t>(when), utc))
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
  return text;
}

// A file that this look may delete.
struct Old {
  std::string year, day, name;
  int64_t start;
};

// What one look finds.
struct Look {
  Look(Retention& owner, const RetentionClock& clock) : retention(owner), now(clock) {}
  Retention& retention;
  const RetentionClock& now;
  std::vector<Old> old;
  std::vector<std::string> failures;
  int unsaid = 0;  // failures beyond those kept to be said
  // The files of earlier runs: their count, how many the wall clock calls old, the newest.
  long earlier = 0, earlierOld = 0;
  int64_t newestEarlier = 0;
  std::string newestName;

  void Fail(const std::string& text) {
    if (failures.size() < kMaxFailuresSaid) {
      failures.push_back(text);
    } else {
      ++unsaid;
    }
  }
  void Fail(const std::string& what, const std::string& path, int error) {
    Fail(what + " " + path + ": " + FileErrorText(error));
  }
};

struct Listed {
  std::vector<std::string> names;
  size_t digits;
};

void CollectFolder(void* context, const TreeEntry& entry) {
  auto* listed = static_cast<Listed*>(context);
  if (entry.kind == kTreeFolder && AllDigits(entry.name, listed->digits))
    listed->names.emplace_back(entry.name);
}

struct DayFolder {
  Look& look;
  const std::string& year;
  const std::string& day;
};

// Whether an earlier run's file is old by the wall clock: by its name and its last write.
bool OldByWall(const Retention& retention, const RetentionClock& now, int64_t start,
               int64_t modified) {
  return now.wall >= start + retention.split + retention.keepSeconds &&
         now.wall >= modified + retention.keepSeconds;
}

void JudgeFile(void* context, const TreeEntry& entry) {
  auto* folder = static_cast<DayFolder*>(context);
  Look& look = folder->look;
  const Retention& retention = look.retention;
  int64_t start = 0;
  if (entry.kind != kTreeFile ||
      !SplitFileStart(entry.name, retention.split, std::atoi(folder->year.c_str()),
                      std::atoi(folder->day.c_str()), start)) {
    return;
  }
  Tick endTick = 0;
  WrittenByRun own = retention.written != nullptr
                         ? PeriodWrittenByRun(*retention.written, start, retention.split, endTick)
                         : kNotWrittenByRun;
  bool old = false;
  if (own == kWrittenByRun) {
    old = look.now.tick - endTick >= retention.keepSeconds * 1000;  // by the run's own clock
  } else if (own == kNotWrittenByRun) {
    int64_t newest = std::max(start, entry.modified);
    ++look.earlier;
    if (look.earlier == 1 || newest > look.newestEarlier) {
      look.newestEarlier = newest;
      look.newestName = folder->year + "/" + folder->day + "/" + entry.name;
    }
    old = OldByWall(retention, look.now, start, entry.modified);
    look.earlierOld += old;
  }
  if (old && look.old.size() < kMaxDeletionsPerLook)
    look.old.push_back(Old{folder->year, folder->day, entry.name, start});
}

// The folders of `parent` whose names are `digits` digits, sorted.
std::vector<std::string> Subfolders(Look& look, const TreeFolder& parent, size_t digits) {
  Listed listed{{}, digits};
  int error = ListTreeFolder(parent, CollectFolder, &listed);
  if (error != 0) look.Fail("Could not read", parent.path, error);
  std::sort(listed.names.begin(), listed.names.end());
  return listed.names;
}

void Survey(Look& look, const TreeFolder& root) {
  for (const std::string& year : Subfolders(look, root, 4)) {
    TreeFolder yearFolder;
    int error = OpenTreeFolder(root, year.c_str(), yearFolder);
    if (error != 0) {
      look.Fail("Could not open", yearFolder.path, error);
      continue;
    }
    for (const std::string& day : Subfolders(look, yearFolder, 3)) {
      TreeFolder dayFolder;
      error = OpenTreeFolder(yearFolder, day.c_str(), dayFolder);
      DayFolder context{look, year, day};
      if (error == 0) error = ListTreeFolder(dayFolder, JudgeFile, &context);
      if (error != 0) look.Fail("Could not read", dayFolder.path, error);
    }
  }
}

// Why the clock cannot be trusted for deleting anything now (a RetentionDoubt), with the
// words that say so.
int Doubt(Retention& retention, const Look& look, std::string& why) {
  const RetentionClock& now = look.now;
  if (now.wall < kEarliestClock) {
    why = "the system clock says " + UtcText(now.wall) + ", before this program existed";
    return kClockBeforeProgram;
  }
  if (retention.jumped && now.tick - retention.jumpedAt < kClockSettleMs) {
    why = std::string("the system clock jumped ") + retention.jump + " within the last " +
          DurationText(kClockSettleMs / 1000);
    return kClockJumped;
  }
  int64_t apart = now.receiverUtc - now.wall;
  if (now.receiverKnown && (apart > kReceiverAgreementS || apart < -kReceiverAgreementS)) {
    why = "the system clock (" + UtcText(now.wall) + ") differs from the receiver's (" +
          UtcText(now.receiverUtc) + ") by " + DurationText(apart);
    return kClockDisagreesWithReceiver;
  }
  if (look.earlier > 0 && look.newestEarlier > now.wall + kNewestFileMarginS) {
    why = "the system clock (" + UtcText(now.wall) + ") lies before the newest file, " +
          look.newestName + " (" + UtcText(look.newestEarlier) + ")";
    return kClockBeforeNewestFile;
  }
  bool vouched = now.receiverKnown || now.systemSynchronized;
  if (!vouched && look.earlier > 0 && look.earlierOld == look.earlier) {
    why = "by the system clock (" + UtcText(now.wall) + ") every earlier file is older than " +
          DurationText(retention.keepSeconds) +
          ", and neither the receiver's time (RMC or ZDA) nor a time service vouches for it";
    return kClockWouldDeleteAll;
  }
  return kClockTrusted;
}

// A step of the wall clock against the monotonic one since the last look.
void WatchForJump(Retention& retention, const RetentionClock& now) {
  if (retention.looked) {
    int64_t step = (static_cast<int64_t>(now.wall) - retention.lastWall) * 1000 -
                   (now.tick - retention.lastTick);
    if (step > kClockJumpMs || step < -kClockJumpMs) {
      retention.jumped = true;
      retention.jumpedAt = now.tick;
      std::snprintf(retention.jump, sizeof retention.jump, "by %s%s", step > 0 ? "+" : "-",
                    DurationText(step / 1000).c_str());
    }
  }
  retention.looked = true;
  retention.lastWall = now.wall;
  retention.lastTick = now.tick;
}

void Say(const Retention& retention, const std::string& text, bool failure) {
  if (retention.said != nullptr) retention.said(retention.context, text.c_str(), failure);
}

// A doubt is said when it begins or its reason changes, and its end once.
void SayDoubt(Retention& retention, int doubt, const std::string& why) {
  if (doubt == retention.doubt) return;
  if (doubt != kClockTrusted) {
    Say(retention,
        "--keep deletes nothing for now: " + why +
            ". Old files are kept until the "
            "clock can be trusted.",
        true);
  } else {
    Say(retention, "--keep deletes old files again: the clock can be trusted.", false);
  }
  retention.doubt = doubt;
}

void DeleteOld(Look& look, const TreeFolder& root) {
  std::sort(look.old.begin(), look.old.end(), [](const Old& a, const Old& b) {
    return a.start != b.start ? a.start < b.start : a.name < b.name;
  });
  const std::string kept = DurationText(look.retention.keepSeconds);
  for (size_t i = 0; i < look.old.size(); ++i) {
    const Old& file = look.old[i];
    TreeFolder year, day;
    int error = OpenTreeFolder(root, file.year.c_str(), year);
    if (error == 0) error = OpenTreeFolder(year, file.day.c_str(), day);
    if (error == 0) error = RemoveTreeFile(day, file.name.c_str());
    std::string path = root.path + "/" + file.year + "/" + file.day + "/" + file.name;
    if (error != 0) {
      look.Fail("Could not delete", path, error);
      continue;
    }
    ++look.retention.deleted;
    Say(look.retention, "Deleted " + path + " (older than " + kept + ")", false);
    bool lastOfDay = i + 1 == look.old.size() || look.old[i + 1].day != file.day ||
                     look.old[i + 1].year != file.year;
    if (!lastOfDay) continue;
    // A folder that held only what went goes too; one that holds anything stays.
    if (RemoveTreeFolder(year, file.day.c_str()) == 0) RemoveTreeFolder(root, file.year.c_str());
  }
}

// Failures are said when they are new, not again at each look while they last; their end
// is said once.
void SayFailures(Retention& retention, Look& look) {
  std::string now;
  for (const std::string& failure : look.failures) {
    now += failure + "\n";
    if (retention.failures.find(failure + "\n") == std::string::npos) Say(retention, failure, true);
  }
  if (look.unsaid > 0 && retention.failures.empty())
    Say(retention, "--keep: " + Plural(look.unsaid, "more failure") + " like these", true);
  if (now.empty() && !retention.failures.empty())
    Say(retention, "--keep works again: nothing failed at its last look.", false);
  retention.failures = now;
}

}  // namespace

bool SplitFileStart(const char* name, int split, int year, int day, int64_t& start) {
  const size_t stamp = split == kSplitHour ? 11 : 8;  // YYYYMMDD-HH or YYYYMMDD
  for (const DumpStream& stream : kDumpStreams) {
    size_t base = std::strlen(stream.baseName);
    if (std::strlen(name) != base + 1 + stamp + 4 ||
        std::strncmp(name, stream.baseName, base) != 0 || name[base] != '-' ||
        std::strcmp(name + base + 1 + stamp, ".dmp") != 0) {
      continue;
    }
    const char* at = name + base + 1;
    int y = Digits(at, 4), m = Digits(at + 4, 2), d = Digits(at + 6, 2), hour = 0;
    if (split == kSplitHour) hour = at[8] == '-' ? Digits(at + 9, 2) : -1;
    if (y < 0 || hour < 0 || hour > 23 || !ValidCivilDate(y, m, d)) return false;
    start = UtcSeconds(y, m, d, hour, 0, 0);
    // In the folder of its own year and day of the year, and not before the program.
    int dayOfYear =
        static_cast<int>((UtcSeconds(y, m, d, 0, 0, 0) - UtcSeconds(y, 1, 1, 0, 0, 0)) / 86400) + 1;
    return y == year && dayOfYear == day && start >= kEarliestClock;
  }
  return false;
}

void BeginRetention(Retention& retention, std::time_t wall, Tick tick) {
  retention.looked = true;
  retention.lastWall = wall;
  retention.lastTick = tick;
}

int PruneSplitFiles(Retention& retention, const RetentionClock& now) {
  if (retention.split == kNoSplit || retention.keepSeconds <= 0) return 0;
  WatchForJump(retention, now);
  unsigned long before = retention.deleted;
  Look look(retention, now);
  TreeFolder root;
  int error = OpenTreeRoot(retention.directory, root);
  if (error != 0) {
    look.Fail("Could not open the log folder", root.path, error);
  } else {
    Survey(look, root);
    std::string why;
    int doubt = Doubt(retention, look, why);
    SayDoubt(retention, doubt, why);
    if (doubt == kClockTrusted) DeleteOld(look, root);
  }
  SayFailures(retention, look);
  return static_cast<int>(retention.deleted - before);
}
