// SPDX-License-Identifier: BSD-2-Clause
#include "log/free_space.h"

int NoteFreeSpace(FreeSpaceWatch& watch, long long freeBytes) {
  watch.freeBytes = freeBytes;
  if (watch.minFree == 0 || freeBytes < 0) return kFreeSpaceSame;
  auto free = static_cast<unsigned long long>(freeBytes);
  if (!watch.low && free < watch.minFree) {
    watch.low = true;
    return kFreeSpaceLow;
  }
  if (watch.low && free >= watch.minFree + watch.minFree / 20) {
    watch.low = false;
    return kFreeSpaceRecovered;
  }
  return kFreeSpaceSame;
}
