// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <atomic>
#include <cstdint>

// Lets a thread that waits for a device be woken from another thread. The platform's
// own file (wake_signal_posix.cpp) implements it; waits on a port watch it beside the port.

struct WakeSignal {
  std::intptr_t handle = -1;  // the platform's waitable object; -1 while none is open
};

// false (with the platform's error set) when the platform refuses one.
bool OpenWakeSignal(WakeSignal& wake);
void CloseWakeSignal(WakeSignal& wake);
void RaiseWakeSignal(WakeSignal& wake);
void ClearWakeSignal(WakeSignal& wake);

// A request to stop that every wait on a port notices at once: raised once and never
// cleared, so that each later wait returns at once as well.
struct StopSignal {
  WakeSignal wake;
  std::atomic<bool> raised{false};
};

inline bool OpenStopSignal(StopSignal& stop) {
  stop.raised = false;
  return OpenWakeSignal(stop.wake);
}

inline void CloseStopSignal(StopSignal& stop) {
  CloseWakeSignal(stop.wake);
}

inline void RaiseStopSignal(StopSignal& stop) {
  stop.raised = true;
  RaiseWakeSignal(stop.wake);
}

// A null signal is never raised.
inline bool StopRaised(const StopSignal* stop) {
  return stop != nullptr && stop->raised.load();
}

// Sleeps for ms, or less when `stop` (null: none) is raised; false when it was.
bool PauseUnlessStopped(const StopSignal* stop, int ms);
