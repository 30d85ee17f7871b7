// SPDX-License-Identifier: BSD-2-Clause
#include <cstdio>

#include "port/port_name.h"

void MapDevicePath(const char* name, char* out, size_t outSize) {
  unsigned number = 0;
  if (MatchComPortName(name, number)) {
    std::snprintf(out, outSize, "/dev/ttyS%u", number - 1);
  } else {
    std::snprintf(out, outSize, "%s", name);
  }
}
