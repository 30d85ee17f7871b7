// SPDX-License-Identifier: BSD-2-Clause
#include "capture/earlier_file.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/local_time.h"
#include "base/regular_file.h"
#include "capture/keep_file.h"

namespace {

constexpr int kMaxKeptNames = 100;  // posn-...-2.dmp to posn-...-100.dmp for one second

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
