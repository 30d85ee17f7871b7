// SPDX-License-Identifier: BSD-2-Clause
#include "log/free_space.h"

#include <filesystem>

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

long long FolderFreeBytes(const char* folder, std::error_code& error) {
  std::filesystem::space_info space =
      std::filesystem::space(std::filesystem::path(folder[0] != '\0' ? folder : "."), error);
  return error ? -1 : static_cast<long long>(space.available);
}
