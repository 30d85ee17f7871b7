// SPDX-License-Identifier: BSD-2-Clause
// Windows has no systemd: nothing listens, and nothing is sent.
#include "log/service_notify.h"

bool ServiceManagerListens() {
  return false;
}

uint64_t ServiceWatchdogUs() {
  return 0;
}

int SendServiceNotice(const char*) {
  return 0;
}
