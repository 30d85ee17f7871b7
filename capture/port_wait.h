#pragma once

#include "link/serial_port.h"

// Lets the receive worker sleep until its line has input or it is told to stop.

enum PortWaitResult {
  kPortReadable = 1,  // input waiting
  kPortDown = 2,      // the device reports a hang-up or an error
  kStopRaised = 4,    // the port's stop signal is raised (it stays raised)
};

// Waits up to timeoutMs (-1: no limit) for the port, when `watchPort`, or the port's stop
// signal. Returns an or of PortWaitResult bits; 0 when the time ran out.
int WaitForPortOrStop(SerialPort& port, bool watchPort, int timeoutMs);
