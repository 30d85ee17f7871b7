// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include "log/metrics_server.h"
#include "web/web_server.h"

// Loads the metrics module: beside the program (a build tree), else in lib/tarnex/modules/
// beside its bin/ (as installed). Null with `error` saying where it was looked for and why not.
const MetricsServerApi* LoadMetricsModule(char* error, int errorSize);

// The web panel's server, from the same module (Linux only).
const WebServerApi* LoadWebModule(char* error, int errorSize);
