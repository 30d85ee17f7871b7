// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <atomic>
#include <thread>

#include "base/status_message.h"
#include "log/log_output.h"

// What the status texts of the link, capture and connection reach the output through.
struct StatusFilter {
  Output* output = nullptr;
  std::thread::id mainThread;
  // While the worker identifies the receiver its failures are the cause that the connect's
  // own failure line repeats: said once there, not twice.
  std::atomic<bool> identifying{false};
};

void StatusToOutput(const StatusEvent& event, void* context);

// The status news goes through the filter for as long as this lives.
class StatusSinkScope {
 public:
  explicit StatusSinkScope(StatusFilter& filter) { SetStatusSink(StatusToOutput, &filter); }
  StatusSinkScope(const StatusSinkScope&) = delete;
  StatusSinkScope& operator=(const StatusSinkScope&) = delete;
  ~StatusSinkScope() { SetStatusSink(nullptr, nullptr); }
};
