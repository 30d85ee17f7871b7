// SPDX-License-Identifier: BSD-2-Clause
// The wake signal on Windows: a manual-reset event, signalled while raised.

#include <windows.h>

#include "base/trace.h"
#include "base/wake_signal.h"

bool OpenWakeSignal(WakeSignal& wake) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return false;
  wake.handle = reinterpret_cast<std::intptr_t>(event);
  return true;
}

void CloseWakeSignal(WakeSignal& wake) {
  if (wake.handle != -1 && !CloseHandle(reinterpret_cast<HANDLE>(wake.handle))) {
    Trace("closing the wake signal failed: %lu", GetLastError());
  }
  wake.handle = -1;
}

void RaiseWakeSignal(WakeSignal& wake) {
  if (!SetEvent(reinterpret_cast<HANDLE>(wake.handle))) {
    Trace("raising the wake signal failed: %lu", GetLastError());
  }
}

void ClearWakeSignal(WakeSignal& wake) {
  if (!ResetEvent(reinterpret_cast<HANDLE>(wake.handle))) {
    Trace("clearing the wake signal failed: %lu", GetLastError());
  }
}

bool PauseUnlessStopped(const StopSignal* stop, int ms) {
  if (ms > 0 && stop != nullptr) {
    WaitForSingleObject(reinterpret_cast<HANDLE>(stop->wake.handle), static_cast<DWORD>(ms));
  } else if (ms > 0) {
    Sleep(static_cast<DWORD>(ms));
  }
  return !StopRaised(stop);
}
