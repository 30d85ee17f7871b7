// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <atomic>
#include <cstdint>

#include "base/wake_signal.h"
#include "port/parity.h"

// The one port through which the receiver is reached: a serial device of the platform
// (serial_device_posix.cpp, serial_device_win32.cpp) or a serial port that a server on the
// network serves (net_port.cpp: "rfc2217://HOST:PORT" or "tcp://HOST:PORT"). OpenPort
// chooses the back end by the name; every back end fills the same table of operations
// (port_backend.h) and keeps its state to itself. What all of them share (the open at
// 9600 baud and its message, the check of the line settings, the drain of old input, the
// failure messages and the recording) is done once, in port.cpp.

struct PortBackend;
struct Recorder;

struct Port {
  const PortBackend* backend = nullptr;  // null while no port is held
  void* state = nullptr;                 // the back end's own, made by its open
  // Set while reads keep failing, so that "read failure." is shown once per outage.
  std::atomic<bool> readFailing{false};
  // What SetLineSettings last applied (a pseudo-terminal does not report parity back).
  uint32_t lineBaud = 0;
  int lineParity = -1;
  // While set, every wait on the port (for input, for room to write, the break) also ends
  // as soon as this is raised. Set before the thread that uses the port starts.
  StopSignal* stop = nullptr;
  // While set, every byte read and written, each line setting and each break is recorded.
  std::atomic<Recorder*> recorder{nullptr};

  Port() = default;
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;
  ~Port();
};

// Opens the device exclusively, raw, with reads that never wait, at 9600 baud and no
// parity; or connects to the server that a network name points at. Any port held before
// is closed first. 0 = open, -1 = failed (shown; nothing is held).
int OpenPort(Port& port, const char* name);

// Whether a port is held.
inline bool PortIsOpen(const Port& port) {
  return port.backend != nullptr;
}

// Baud rate (any value the device accepts), 8 data bits, parity, 1 stop bit.
// 0 = applied, -1 = failed (shown); a failure leaves the line as it was.
int SetLineSettings(Port& port, uint32_t baud, int parity);

// Holds the line in the break state for 300 ms. 0 = done, -1 = ending the break failed.
int SendBreak(Port& port);

// Reads and discards everything that is waiting or arrives without a pause of ~10 ms.
// No read waits longer than ~10 ms, and the whole flush ends within ~100 ms even while
// bytes keep arriving.
void FlushInput(Port& port);

// One read of up to n bytes that never waits; 0 when nothing is there or on failure
// ("read failure." is shown once per outage).
int ReadPort(Port& port, uint8_t* buffer, int n);

// Writes all n bytes; n on success, 0 on failure. A line that takes no byte for a second
// (flow control held off, a device gone) counts as a failure, as does a stop request.
int WritePort(Port& port, const uint8_t* buffer, int n);

// Waits up to timeoutMs (-1: without limit) for input.
// 1: input is waiting; 0: none came; -1: the device reports a hang-up or an error
// (after waiting out the time-out, so that callers that retry do not spin, unless
// `pauseOnHangUp` is false: for a caller with a pause of its own for a line that is down);
// -2: the port's stop signal is raised.
int WaitForInput(Port& port, int timeoutMs, bool pauseOnHangUp = true);

// Whether the port's stop signal has been raised: long operations end early.
inline bool PortStopped(const Port& port) {
  return StopRaised(port.stop);
}

// The text of a failed read, as every front end shows it unless it words it its own way.
inline constexpr char kReadFailureText[] = "read failure.";

// Shows "read failure." unless the current outage has been reported already.
void NoteReadFailure(Port& port);

// Closes the port if one is held, giving up exclusive use first so that the next open,
// by this program or another, is not refused.
void ClosePort(Port& port);
