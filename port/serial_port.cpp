// SPDX-License-Identifier: BSD-2-Clause
// The serial port's operations, for a device of the platform or a receiver on the
// network, chosen by the name the port was opened with.

#include "port/serial_port.h"

#include <cstdio>
#include <cstring>

#include "port/device_port.h"
#include "port/net_port.h"
#include "recorder/recording.h"
#include "base/tick.h"
#include "base/trace.h"

namespace {

bool OnNetwork(const SerialPort& port) {
  return port.net.kind != kNotNetwork;
}

// Reads up to n bytes, waiting for more for at most withinMs in all.
int ReadWithin(SerialPort& port, uint8_t* buffer, int n, int withinMs) {
  Deadline deadline;
  SetDeadline(deadline, withinMs / 1000.0);
  int got = 0;
  while (got < n) {
    got += ReadPort(port, buffer + got, n - got);
    int left = DeadlineRemainingMs(deadline);
    if (got == n || left <= 0 || WaitForInput(port, left) != 1) break;
  }
  return got;
}

}  // namespace

SerialPort::~SerialPort() {
  ClosePort(*this);
}

bool IsNetworkName(const char* name) {
  return std::strncmp(name, "rfc2217://", 10) == 0 || std::strncmp(name, "tcp://", 6) == 0;
}

int OpenPort(SerialPort& port, const char* path) {
  ClosePort(port);
  if (Recorder* recorder = port.recorder) {
    char note[300];
    std::snprintf(note, sizeof note, "open %.280s", path);
    RecordNote(*recorder, note);
  }
  int result = IsNetworkName(path) ? OpenNetPort(port, path) : OpenDevice(port, path);
  // Both open at 9600 baud, no parity.
  Recorder* recorder = port.recorder;
  if (recorder != nullptr && result == 0) RecordLineSettings(*recorder, 9600, kParityNone);
  return result;
}

int SetLineSettings(SerialPort& port, uint32_t baud, int parity) {
  int result = OnNetwork(port) ? SetNetLine(port, baud, parity) : SetDeviceLine(port, baud, parity);
  Recorder* recorder = port.recorder;
  if (recorder != nullptr && result == 0) RecordLineSettings(*recorder, baud, parity);
  return result;
}

int SendBreak(SerialPort& port) {
  if (Recorder* recorder = port.recorder) RecordBreak(*recorder, kBreakMs);
  return OnNetwork(port) ? SendNetBreak(port) : SendDeviceBreak(port);
}

void FlushInput(SerialPort& port) {
  if (OnNetwork(port)) {
    FlushNetPort(port);
  } else {
    FlushDevice(port);
  }
}

int ReadPort(SerialPort& port, uint8_t* buffer, int n) {
  int count = OnNetwork(port) ? ReadNetPort(port, buffer, n) : ReadDevice(port, buffer, n);
  Recorder* recorder = port.recorder;
  if (recorder != nullptr && count > 0) RecordBytes(*recorder, kRecordReceived, buffer, count);
  return count;
}

int WritePort(SerialPort& port, const uint8_t* buffer, int n) {
  Recorder* recorder = port.recorder;
  if (recorder != nullptr) RecordBytes(*recorder, kRecordSent, buffer, n);
  return OnNetwork(port) ? WriteNetPort(port, buffer, n) : WriteDevice(port, buffer, n);
}

int WaitForInput(SerialPort& port, int timeoutMs, bool pauseOnHangUp) {
  int pause = pauseOnHangUp ? timeoutMs : 0;
  return OnNetwork(port) ? WaitForNetInput(port, timeoutMs, pause)
                         : WaitForDevice(port, timeoutMs, pause);
}

void ClosePort(SerialPort& port) {
  if (OnNetwork(port)) {
    CloseNetPort(port);
  } else {
    CloseDevice(port);
  }
}

void DrainInput(SerialPort& port) {
  uint8_t scratch[kFlushChunk];
  Deadline limit;
  SetDeadline(limit, kFlushLimitMs / 1000.0);
  int drained = 0;
  int count;
  do {
    count = ReadWithin(port, scratch, kFlushChunk, kFlushReadMs);
    drained += count;
  } while (count == kFlushChunk && DeadlinePassed(limit) == 0 && !PortStopped(port));
  Trace("flushed %d bytes", drained);
}
