// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <system_error>

// --min-free: a watch on the free space of the dump folder's file system. It only warns;
// nothing is deleted for it.

struct FreeSpaceWatch {
  unsigned long long minFree = 0;  // 0: no warning, the free space is only measured
  long long freeBytes = -1;        // last measured; -1: not yet, or it could not be told
  bool low = false;
  std::error_code lastError;  // the last failure said, so that it is not said again each time
};

enum FreeSpaceNews { kFreeSpaceSame, kFreeSpaceLow, kFreeSpaceRecovered };

// Takes a measurement (-1 when it failed). It turns low below minFree, and back only once
// 5% more than minFree is free again, so that a disk hovering at the mark is said once.
int NoteFreeSpace(FreeSpaceWatch& watch, long long freeBytes);

// The bytes an unprivileged writer may still use on the file system of `folder` ("": the
// current one); -1 with `error` set when it cannot be told.
long long FolderFreeBytes(const char* folder, std::error_code& error);
