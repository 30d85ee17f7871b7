#pragma once

#include "link/serial_port.h"

// Lets a thread sleep until its line has input or someone wakes it.

struct WakeSignal {
  int handle = -1;
};

// false (with errno set) when the platform refuses one.
bool OpenWakeSignal(WakeSignal& wake);
void CloseWakeSignal(WakeSignal& wake);
void RaiseWakeSignal(WakeSignal& wake);
void ClearWakeSignal(WakeSignal& wake);

enum PortWaitResult {
  kPortReadable = 1,  // input waiting
  kPortDown = 2,      // the device reports a hang-up or an error
  kWoken = 4,         // the wake signal was raised (and has been cleared)
};

// Waits up to timeoutMs (-1: no limit) for the port, when `watchPort`, or the wake signal.
// Returns an or of PortWaitResult bits; 0 when the time ran out.
int WaitForPortOrWake(SerialPort& port, WakeSignal& wake, bool watchPort, int timeoutMs);
