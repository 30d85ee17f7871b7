// SPDX-License-Identifier: BSD-2-Clause
// What the serial port tells the user, the same on every platform.

#include "port/serial_port.h"
#include "base/status_message.h"
#include "base/trace.h"

void NoteReadFailure(SerialPort& port) {
  if (!port.readFailing.exchange(true)) ShowStatusFailure("read failure.");
}

int FinishWrite(SerialPort& port, const uint8_t* buffer, int n, int written) {
  if (written < n) {
    // A write cut short by a stop request is no failure of the line.
    if (!PortStopped(port)) ShowStatusFailure("Write data failed.");
    return 0;
  }
  TraceBytes("wrote", buffer, n);
  return n;
}
