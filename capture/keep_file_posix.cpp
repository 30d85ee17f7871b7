// SPDX-License-Identifier: BSD-2-Clause
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include "capture/keep_file.h"

int RenameWithoutReplacing(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system that cannot refuse to replace: look first. Only this program writes
  // dump files here, so nothing comes between the look and the rename.
  if (access(to, F_OK) == 0) return EEXIST;
  return rename(from, to) == 0 ? 0 : errno;
}
