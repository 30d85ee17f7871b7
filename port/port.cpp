// SPDX-License-Identifier: BSD-2-Clause
// The port's operations: the back end is chosen by the name the port is opened with;
// what every back end shares is done here, once.

#include "port/port.h"

#include <cstdio>
#include <cstring>

#include "base/status_message.h"
#include "base/tick.h"
#include "base/trace.h"
#include "port/port_backend.h"
#include "recorder/recording.h"

namespace {

constexpr int kFlushChunk = 300;
constexpr int kFlushReadMs = 10;    // what one flush read may wait in all
constexpr int kFlushLimitMs = 100;  // what the whole flush may take

const PortBackend& ChooseBackend(const char* name) {
  if (std::strncmp(name, "rfc2217://", 10) == 0) return kRfc2217Backend;
  if (std::strncmp(name, "tcp://", 6) == 0) return kRawTcpBackend;
  return kSerialDeviceBackend;
}

// Reads up to n bytes, waiting for more for at most withinMs in all.
int ReadWithin(Port& port, uint8_t* buffer, int n, int withinMs) {
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

// Batches of kFlushChunk bytes that each gather for at most kFlushReadMs, until a batch
// comes short or kFlushLimitMs have passed.
void DrainInput(Port& port) {
  uint8_t scratch[kFlushChunk];
  Deadline limit;
  SetDeadline(limit, kFlushLimitMs / 1000.0);
  int drained = 0;
  int count;
  do {
    count = ReadWithin(port, scratch, kFlushChunk, kFlushReadMs);
    drained += count;
  } while (count == kFlushChunk && !DeadlinePassed(limit) && !PortStopped(port));
  Trace("flushed %d bytes", drained);
}

void RecordIfOn(Port& port, RecordKind kind, const uint8_t* bytes, int count) {
  if (Recorder* recorder = port.recorder) RecordBytes(*recorder, kind, bytes, count);
}

}  // namespace

Port::~Port() {
  ClosePort(*this);
}

int OpenPort(Port& port, const char* name) {
  ClosePort(port);
  if (Recorder* recorder = port.recorder) {
    char note[300];
    std::snprintf(note, sizeof note, "open %.280s", name);
    RecordNote(*recorder, note);
  }
  port.readFailing = false;
  const PortBackend& backend = ChooseBackend(name);
  if (backend.open(port, name) != 0) return -1;
  port.backend = &backend;
  Trace("opened %s as a %s", name, backend.kind);
  ShowStatusMessage("Communications opened.");
  return SetLineSettings(port, 9600, kParityNone);
}

int SetLineSettings(Port& port, uint32_t baud, int parity) {
  if (!PortIsOpen(port)) {
    ShowStatusFailure("Could not retrieve comm settings.");
    return -1;
  }
  if (!KnownParity(parity)) {
    ShowStatusFailure("Un-recognized parity");
    return -1;
  }
  // Baud 0 would hang a line up rather than set a speed: no device runs at it.
  if (baud == 0) {
    ShowStatusFailure("Could not set comm settings.");
    return -1;
  }
  if (port.backend->setLine(port, baud, parity) != 0) return -1;
  port.lineBaud = baud;
  port.lineParity = parity;
  Trace("line set to %u baud, parity %d", baud, parity);
  if (Recorder* recorder = port.recorder) RecordLineSettings(*recorder, baud, parity);
  return 0;
}

int SendBreak(Port& port) {
  if (Recorder* recorder = port.recorder) RecordBreak(*recorder, kBreakMs);
  return PortIsOpen(port) ? port.backend->sendBreak(port) : -1;
}

void FlushInput(Port& port) {
  if (!PortIsOpen(port)) return;
  if (port.backend->purgeInput != nullptr) port.backend->purgeInput(port);
  DrainInput(port);
}

int ReadPort(Port& port, uint8_t* buffer, int n) {
  if (n <= 0) return 0;
  int count = PortIsOpen(port) ? port.backend->read(port, buffer, n) : -1;
  if (count < 0) {
    NoteReadFailure(port);
    return 0;
  }
  if (count > 0) {
    port.readFailing = false;
    TraceBytes("read", buffer, count);
    RecordIfOn(port, kRecordReceived, buffer, count);
  }
  return count;
}

int WritePort(Port& port, const uint8_t* buffer, int n) {
  RecordIfOn(port, kRecordSent, buffer, n);
  int written = PortIsOpen(port) ? port.backend->write(port, buffer, n) : 0;
  if (written < n) {
    // A write cut short by a stop request is no failure of the line.
    if (!PortStopped(port)) ShowStatusFailure("Write data failed.");
    return 0;
  }
  TraceBytes("wrote", buffer, n);
  return n;
}

int WaitForInput(Port& port, int timeoutMs, bool pauseOnHangUp) {
  if (PortStopped(port)) return -2;
  int pause = pauseOnHangUp ? timeoutMs : 0;
  if (!PortIsOpen(port)) return PauseUnlessStopped(port.stop, pause) ? -1 : -2;
  return port.backend->waitForInput(port, timeoutMs, pause);
}

void NoteReadFailure(Port& port) {
  if (!port.readFailing.exchange(true)) ShowStatusFailure(kReadFailureText);
}

void ClosePort(Port& port) {
  if (PortIsOpen(port)) port.backend->close(port);
  port.backend = nullptr;
  port.state = nullptr;
  port.lineBaud = 0;
  port.lineParity = -1;
}
