// SPDX-License-Identifier: BSD-2-Clause
#include <windows.h>

#include <cerrno>

#include "capture/keep_file.h"

// MoveFileExA without MOVEFILE_REPLACE_EXISTING refuses a name that is taken.
int RenameWithoutReplacing(const char* from, const char* to) {
  if (MoveFileExA(from, to, 0)) return 0;
  switch (GetLastError()) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_SHARING_VIOLATION:
      return EBUSY;
    default:
      return EIO;
  }
}
