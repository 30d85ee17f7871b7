// SPDX-License-Identifier: BSD-2-Clause
#include "capture/dump_news.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/byte_count_text.h"
#include "base/local_time.h"
#include "base/regular_file.h"

namespace {

const char* FileName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* backslash = std::strrchr(path, '\\');
  if (backslash != nullptr && (slash == nullptr || backslash > slash)) slash = backslash;
  return slash != nullptr ? slash + 1 : path;
}

void DumpNewsText(const StatusEvent& event, char* out, size_t size) {
  const char* path = event.path != nullptr ? event.path : "";
  char amount[64], from[16], to[16];
  AmountText(event.items, event.bytes, amount, sizeof amount);
  TimeOfDayText(static_cast<std::time_t>(event.from), from, sizeof from);
  TimeOfDayText(static_cast<std::time_t>(event.to), to, sizeof to);
  switch (event.news) {
    case kDumpFileKept:
      std::snprintf(out, size, "Kept the earlier %s as %s", FileName(path),
                    FileName(event.other != nullptr ? event.other : ""));
      return;
    case kDumpKeepFailed:
      std::snprintf(out, size, "Could not keep the earlier %s: %s; logging on at its end",
                    FileName(path), FileErrorText(event.error));
      return;
    case kDumpWriteFailing:
      std::snprintf(out, size,
                    "Could not %s %s: %s. Its items are counted as lost until it can be "
                    "written again.",
                    event.other != nullptr ? event.other : "write", path,
                    FileErrorText(event.error));
      return;
    case kDumpWritingAgain:
      std::snprintf(out, size, "Writing %s again; %s %s lost from %s to %s.", path, amount,
                    event.items == 1 ? "was" : "were", from, to);
      return;
    case kDumpFileRemoved:
      std::snprintf(out, size,
                    "%s was removed while logging; %s written into it since %s went with it. "
                    "Writing it anew.",
                    path, amount, from);
      return;
    case kDumpFileMoved:
      std::snprintf(out, size,
                    "%s was moved away while logging, with what was written into it. Writing "
                    "it anew.",
                    path);
      return;
    case kDumpSyncFailed:
      std::snprintf(out, size,
                    "Could not hand %s to the disk: %s. What was written lately may be lost.", path,
                    FileErrorText(event.error));
      return;
    case kDumpFileClosed: {
      char bytes[24];
      ByteCountText(event.bytes, bytes, sizeof bytes);
      std::snprintf(out, size, "Closed %s (%s)", path, bytes);
      return;
    }
    default:
      std::snprintf(out, size, "%s", event.text);
  }
}

}  // namespace

void StatusEventText(const StatusEvent& event, char* out, int size) {
  if (size <= 0) return;
  if (event.news == 0) {
    std::snprintf(out, static_cast<size_t>(size), "%s", event.text);
  } else {
    DumpNewsText(event, out, static_cast<size_t>(size));
  }
}

void AmountText(unsigned long items, unsigned long long bytes, char* out, int size) {
  char amount[24];
  ByteCountText(bytes, amount, sizeof amount);
  std::snprintf(out, static_cast<size_t>(size), "%lu item%s (%s)", items, items == 1 ? "" : "s",
                amount);
}

StatusEvent DumpEvent(int news, int kind, const char* path) {
  StatusEvent event;
  event.news = news;
  event.kind = kind;
  event.path = path;
  return event;
}
