#include "link/status_message.h"

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

}  // namespace

void SetStatusSink(StatusSink sink, void* context) {
  SinkSlot& slot = Slot();
  std::lock_guard<std::mutex> hold(slot.lock);
  slot.sink = sink;
  slot.context = context;
}

void ShowStatusMessage(const char* text) {
  SinkSlot& slot = Slot();
  StatusSink sink;
  void* context;
  {
    std::lock_guard<std::mutex> hold(slot.lock);
    sink = slot.sink;
    context = slot.context;
  }
  if (sink != nullptr) sink(text, context);
}
