// SPDX-License-Identifier: BSD-2-Clause
#include "sim/line_timing.h"

#include <algorithm>

void PutOnLine(LineTiming& timing, const uint8_t* bytes, int count, uint32_t baud,
               SimClock::time_point now, LineWriter write, void* context) {
  if (timing.onTheLine.size() >= kMaxOnTheLine) DeliverDue(timing, true, now, write, context);
  if (baud == 0) baud = 9600;
  auto start = std::max(now, timing.lineFreeAt);
  auto carried = std::chrono::microseconds(static_cast<int64_t>(count) * 10 * 1000000 / baud);
  timing.lineFreeAt = start + carried;
  timing.onTheLine.push_back({std::vector<uint8_t>(bytes, bytes + count), timing.lineFreeAt});
}

void DeliverDue(LineTiming& timing, bool all, SimClock::time_point now, LineWriter write,
                void* context) {
  while (!timing.onTheLine.empty() && (all || timing.onTheLine.front().at <= now)) {
    const std::vector<uint8_t>& bytes = timing.onTheLine.front().bytes;
    write(context, bytes.data(), static_cast<int>(bytes.size()));
    timing.onTheLine.pop_front();
  }
}

void DelayKey(LineTiming& timing, ReceiverModel& model, uint8_t code, SimClock::time_point at) {
  if (timing.pendingKeys.size() >= kMaxPendingKeys) ApplyDueKeys(timing, model, true, at);
  timing.pendingKeys.push_back({code, at});
}

void ApplyDueKeys(LineTiming& timing, ReceiverModel& model, bool all, SimClock::time_point now) {
  while (!timing.pendingKeys.empty() && (all || timing.pendingKeys.front().at <= now)) {
    ApplyKey(model, timing.pendingKeys.front().code);
    timing.pendingKeys.pop_front();
  }
}

SimClock::time_point NextLineEvent(const LineTiming& timing) {
  SimClock::time_point next = SimClock::time_point::max();
  if (!timing.pendingKeys.empty()) next = std::min(next, timing.pendingKeys.front().at);
  if (!timing.onTheLine.empty()) next = std::min(next, timing.onTheLine.front().at);
  return next;
}
