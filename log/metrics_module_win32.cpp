// SPDX-License-Identifier: BSD-2-Clause
// The metrics server is built for Linux only, where base stations run their loggers under
// systemd and Prometheus.
#include <cstdio>

#include "log/metrics_module.h"

const MetricsServerApi* LoadMetricsModule(char* error, int errorSize) {
  std::snprintf(error, static_cast<size_t>(errorSize),
                "--metrics is not available on Windows: tarnex-log serves Prometheus metrics "
                "on Linux");
  return nullptr;
}
