// SPDX-License-Identifier: BSD-2-Clause
// The browser panel is served on Linux only, where base stations run their loggers.
#include <cstdio>

#include "log/logger.h"

bool StartWeb(Logger& logger) {
  if (logger.options.webPort < 0) return true;
  std::fprintf(stderr,
               "tarnex-log: --web is not available on Windows: tarnex-log serves the panel to "
               "browsers on Linux\n");
  return false;
}

void StopWeb(Logger&) {}

void PublishWebStatus(Logger&, Tick) {}

int PrintPasswordHash() {
  std::fprintf(stderr, "tarnex-log: --hash-password is not available on Windows\n");
  return 1;
}
