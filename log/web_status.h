// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include "fix/fix_state.h"
#include "log/metrics_text.h"

// What the browser panel shows beside the display, as the logger has it: the receiver
// and its line, the logging, free space and the fix with its satellites, as one JSON
// message ({"status":{...}}) that the page draws as it is.

constexpr int kWebStatusSize = 16384;  // room for every satellite

struct WebStatusView {
  MetricsView metrics;
  const char* state = "waiting";  // "connected", "lost" or "waiting" (not yet connected)
  bool logging = true;
  const FixState* fix = nullptr;
  bool fixFresh = false;
};

// The message's length, or -1 when `size` is too small.
int WebStatusJson(const WebStatusView& view, char* out, int size);
