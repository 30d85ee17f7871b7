// SPDX-License-Identifier: BSD-2-Clause
#include "capture/split_retention.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "capture/dump_file.h"

namespace fs = std::filesystem;

namespace {

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The UTC start of the hour or day a split file's name says it holds; -1 when the name is
// not one of ours.
std::time_t NamedStart(const std::string& name, int split) {
  for (int stream = 0; stream < kDumpStreamCount; ++stream) {
    std::string base = std::string(kDumpStreams[stream].baseName) + "-";
    size_t stampLength = split == kSplitHour ? 11 : 8;  // YYYYMMDD-HH or YYYYMMDD
    if (name.size() != base.size() + stampLength + 4 || name.rfind(base, 0) != 0 ||
        name.compare(name.size() - 4, 4, ".dmp") != 0) {
      continue;
    }
    std::string stamp = name.substr(base.size(), stampLength);
    std::string day = stamp.substr(0, 8);
    if (!AllDigits(day) ||
        (split == kSplitHour && (stamp[8] != '-' || !AllDigits(stamp.substr(9))))) {
      return -1;
    }
    std::tm utc = {};
    utc.tm_year = std::stoi(day.substr(0, 4)) - 1900;
    utc.tm_mon = std::stoi(day.substr(4, 2)) - 1;
    utc.tm_mday = std::stoi(day.substr(6, 2));
    utc.tm_hour = split == kSplitHour ? std::stoi(stamp.substr(9)) : 0;
    // Days since the epoch by the civil calendar: no time zone, no library's mktime.
    int y = utc.tm_year + 1900 - (utc.tm_mon < 2 ? 1 : 0);
    int era = (y >= 0 ? y : y - 399) / 400;
    int yoe = y - era * 400;
    int mp = (utc.tm_mon + 10) % 12;  // March first: February last, where its 29th falls
    int doy = (153 * mp + 2) / 5 + utc.tm_mday - 1;
    int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    long long days = static_cast<long long>(era) * 146097 + doe - 719468;
    return static_cast<std::time_t>(days * 86400 + utc.tm_hour * 3600);
  }
  return -1;
}

void Say(void (*said)(void*, const char*, bool), void* context, bool failure, const char* format,
         const std::string& path, const std::string& detail) {
  char text[1200];
  std::snprintf(text, sizeof text, format, path.c_str(), detail.c_str());
  said(context, text, failure);
}

}  // namespace

int PruneSplitFiles(const char* directory, int split, int64_t keepSeconds, std::time_t now,
                    void (*said)(void* context, const char* text, bool failure), void* context) {
  if (split == kNoSplit || keepSeconds <= 0) return 0;
  fs::path root = directory[0] != '\0' ? fs::path(directory) : fs::current_path();
  std::string kept = std::to_string(keepSeconds / 86400) + " days";
  if (keepSeconds % 86400 != 0) kept = std::to_string(keepSeconds / 3600) + " hours";
  // Gathered first, deleted after: no folder changes while it is being read.
  std::vector<fs::path> old, days;
  std::error_code error;
  for (const auto& year : fs::directory_iterator(root, error)) {
    std::string yearName = year.path().filename().string();
    if (!year.is_directory() || yearName.size() != 4 || !AllDigits(yearName)) continue;
    for (const auto& day : fs::directory_iterator(year.path(), error)) {
      std::string dayName = day.path().filename().string();
      if (!day.is_directory() || dayName.size() != 3 || !AllDigits(dayName)) continue;
      days.push_back(day.path());
      for (const auto& file : fs::directory_iterator(day.path(), error)) {
        std::time_t start = NamedStart(file.path().filename().string(), split);
        if (start >= 0 && start + split + keepSeconds <= now) old.push_back(file.path());
      }
    }
  }
  std::sort(old.begin(), old.end());  // oldest first: the layout sorts by time
  int deleted = 0;
  for (const fs::path& file : old) {
    std::error_code removed;
    if (fs::remove(file, removed)) {
      ++deleted;
      Say(said, context, false, "Deleted %s (older than %s)", file.string(), kept);
    } else if (removed) {
      Say(said, context, true, "Could not delete %s: %s", file.string(), removed.message());
    }
  }
  for (const fs::path& day : days) {  // a folder that still holds anything stays
    std::error_code ignored;
    if (fs::is_empty(day, ignored)) fs::remove(day, ignored);
    if (fs::is_empty(day.parent_path(), ignored)) fs::remove(day.parent_path(), ignored);
  }
  return deleted;
}
