// SPDX-License-Identifier: BSD-2-Clause
// Sharing is served on Linux, where base stations run their loggers; a Windows logger
// says so and does not start.
#include <cstdio>

#include "share/share_server.h"

ShareServer* StartShareServer(ShareHub&, ShareServerSettings&, char* error, int errorSize) {
  std::snprintf(error, static_cast<size_t>(errorSize),
                "--share and --nmea-out are not available on Windows: tarnex-log shares its "
                "receiver on Linux");
  return nullptr;
}

void StopShareServer(ShareServer*) {}
