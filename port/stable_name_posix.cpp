// SPDX-License-Identifier: BSD-2-Clause
// Stable device names on Linux: udev's links in /dev/serial/by-id/.

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>

#include "base/trace.h"
#include "port/port_name.h"
#include "port/stable_name.h"

bool FindStableDeviceName(const char* portName, char* out, size_t outSize, const char* directory) {
  if (directory == nullptr) directory = "/dev/serial/by-id";
  char device[PATH_MAX];
  MapDevicePath(portName, device, sizeof device);
  char target[PATH_MAX];
  if (realpath(device, target) == nullptr) return false;
  DIR* listing = opendir(directory);
  if (listing == nullptr) return false;  // no adapter with an id is plugged in
  bool found = false;
  while (!found) {
    errno = 0;
    const struct dirent* entry = readdir(listing);
    if (entry == nullptr) {
      if (errno != 0) Trace("reading %s failed: %s", directory, std::strerror(errno));
      break;
    }
    if (entry->d_name[0] == '.') continue;
    char candidate[PATH_MAX];
    char resolved[PATH_MAX];
    std::snprintf(candidate, sizeof candidate, "%s/%s", directory, entry->d_name);
    if (realpath(candidate, resolved) != nullptr && std::strcmp(resolved, target) == 0) {
      found = std::snprintf(out, outSize, "%s", candidate) < static_cast<int>(outSize);
    }
  }
  closedir(listing);
  return found;
}
