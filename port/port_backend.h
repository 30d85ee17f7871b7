// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

struct Port;  // the port a back end serves (port.h)

// One kind of port, as port.cpp drives it. Each back end keeps its own state in
// `port.state` (made by `open`, freed by `close`) and says nothing of what port.cpp says
// for all of them: "Communications opened.", "read failure.", "Write data failed.".

constexpr int kBreakMs = 300;  // how long a break holds the line

struct PortBackend {
  const char* kind;  // for the trace: "serial device", "tcp", "rfc2217"
  // Opens or connects exclusively, raw, with reads that never wait. 0, or -1 with the
  // reason shown and nothing held.
  int (*open)(Port& port, const char* name);
  // Applies baud (above 0) and parity (known). 0, or -1 with the reason shown.
  int (*setLine)(Port& port, uint32_t baud, int parity);
  // Holds a break for kBreakMs. 0, or -1 when ending it failed.
  int (*sendBreak)(Port& port);
  // Throws away what waits at the far end, before port.cpp drains what has come (null
  // where there is no far end).
  void (*purgeInput)(Port& port);
  // One read that never waits: the bytes read, 0 when none are there, -1 on failure.
  int (*read)(Port& port, uint8_t* buffer, int n);
  // Writes n bytes; how many went out before a failure, a stall of a second or a stop.
  int (*write)(Port& port, const uint8_t* buffer, int n);
  // As WaitForInput; a hang-up or error first pauses hangUpPauseMs.
  int (*waitForInput)(Port& port, int timeoutMs, int hangUpPauseMs);
  // Lets the port go and frees the state.
  void (*close)(Port& port);
};

// The serial device of this platform: one file per platform.
extern const PortBackend kSerialDeviceBackend;
// A serial port served on the network (net_port.cpp).
extern const PortBackend kRawTcpBackend;
extern const PortBackend kRfc2217Backend;
