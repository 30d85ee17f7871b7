// SPDX-License-Identifier: BSD-2-Clause
#include "base/status_message.h"

#include <cstdio>
#include <mutex>

namespace {

struct SinkSlot {
  std::mutex lock;
  StatusSink sink = nullptr;
  void* context = nullptr;
};

SinkSlot& Slot() {
  static SinkSlot slot;
  return slot;
}

constexpr int kFailureSize = 461;  // a whole status line and its terminator
thread_local char threadFailure[kFailureSize];

}  // namespace

void SetStatusSink(StatusSink sink, void* context) {
  SinkSlot& slot = Slot();
  std::lock_guard<std::mutex> hold(slot.lock);
  slot.sink = sink;
  slot.context = context;
}

void ShowStatusText(const char* text, int kind) {
  StatusEvent event;
  event.kind = kind;
  event.text = text;
  ShowStatusEvent(event);
}

void ShowStatusEvent(const StatusEvent& event) {
  if (event.kind == kStatusFailure && event.news == 0) {
    std::snprintf(threadFailure, sizeof threadFailure, "%s", event.text);
  }
  SinkSlot& slot = Slot();
  StatusSink sink;
  void* context;
  {
    std::lock_guard<std::mutex> hold(slot.lock);
    sink = slot.sink;
    context = slot.context;
  }
  if (sink != nullptr) sink(event, context);
}

void ShowStatusMessage(const char* text) {
  ShowStatusText(text, kStatusProgress);
}

void ShowStatusFailure(const char* text) {
  ShowStatusText(text, kStatusFailure);
}

void ShowStatusDetail(const char* text) {
  ShowStatusText(text, kStatusDetail);
}

void ClearThreadFailure() {
  threadFailure[0] = '\0';
}

const char* LastThreadFailure() {
  return threadFailure;
}
