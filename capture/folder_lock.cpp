// SPDX-License-Identifier: BSD-2-Clause
#include "capture/folder_lock.h"

#include <errno.h>

#include <cstdio>

#include "base/regular_file.h"
#include "capture/folder_text.h"

namespace {
constexpr size_t kFolderTextSize = 512;
}  // namespace

void FolderLockText(int error, const char* directory, const char* holder, char* out, size_t size) {
  char folder[kFolderTextSize];
  DumpDirectoryText(directory, folder, sizeof folder);
  if (error == EBUSY) {
    std::snprintf(out, size, "Could not log into %s: it is already being logged into by %s", folder,
                  holder[0] != '\0' ? holder : "another program");
  } else {
    std::snprintf(out, size, "Could not log into %s: its .tarnex.lock: %s", folder,
                  FileErrorText(error));
  }
}
