// SPDX-License-Identifier: BSD-2-Clause
#include <errno.h>
#include <sys/statvfs.h>

#include "log/free_space.h"

long long FolderFreeBytes(const char* folder, int& error) {
  struct statvfs info = {};
  if (statvfs(folder[0] != '\0' ? folder : ".", &info) != 0) {
    error = errno;
    return -1;
  }
  error = 0;
  return static_cast<long long>(info.f_bavail) * static_cast<long long>(info.f_frsize);
}
