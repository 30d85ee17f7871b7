// SPDX-License-Identifier: BSD-2-Clause
// The serial device on Windows: CreateFileA on \\.\COMn, the line through GetCommState and
// SetCommState, and overlapped reads and writes, so that a wait for input or for room to
// write can also watch the stop signal instead of spinning.

#include <windows.h>

#include <cstdio>
#include <new>

#include "base/windows_error_text.h"
#include "base/status_message.h"
#include "base/trace.h"
#include "port/port.h"
#include "port/port_backend.h"
#include "port/port_name.h"

namespace {

constexpr int kWriteStallMs = 1000;
constexpr DWORD kFirstTryMs = 50;
constexpr int kMessageSize = 120;

// The device and its two completion events for overlapped I/O, and the byte a wait for
// input has already taken in (-1: none).
struct DeviceState {
  HANDLE handle = INVALID_HANDLE_VALUE;
  HANDLE readEvent = nullptr;
  HANDLE writeEvent = nullptr;
  int peeked = -1;
};

DeviceState& State(const Port& port) {
  return *static_cast<DeviceState*>(port.state);
}

HANDLE PortHandle(const Port& port) {
  return State(port).handle;
}

void ShowOpenFailure(DWORD error, const char* path) {
  char reason[kMessageSize];
  WindowsErrorText(error, reason, sizeof reason);
  char text[400];
  std::snprintf(text, sizeof text, "%s: %s", reason, path);
  Trace("CreateFileA %s failed: %lu", path, static_cast<unsigned long>(error));
  ShowStatusFailure(text);
}

// Reads that return at once with whatever has arrived (interval MAXDWORD, totals 0), or,
// for a wait, reads that wait for their first byte (all 0).
bool SetReadTimeouts(const Port& port, DWORD interval, DWORD constant) {
  COMMTIMEOUTS timeouts = {};
  timeouts.ReadIntervalTimeout = interval;
  timeouts.ReadTotalTimeoutConstant = constant;
  if (SetCommTimeouts(PortHandle(port), &timeouts)) return true;
  Trace("SetCommTimeouts failed: %lu", GetLastError());
  return false;
}

HANDLE StopEvent(const Port& port) {
  return port.stop != nullptr ? reinterpret_cast<HANDLE>(port.stop->wake.handle) : nullptr;
}

// Waits for an overlapped operation, the stop signal or the time. WAIT_OBJECT_0 when the
// operation completed, WAIT_OBJECT_0 + 1 when stopped, WAIT_TIMEOUT, or WAIT_FAILED.
DWORD WaitForOperation(const Port& port, HANDLE done, DWORD timeoutMs) {
  HANDLE events[2] = {done, StopEvent(port)};
  DWORD count = events[1] != nullptr ? 2 : 1;
  return WaitForMultipleObjects(count, events, FALSE, timeoutMs);
}

// Ends an overlapped operation that is still pending; what it moved counts all the same.
DWORD CancelOperation(const Port& port, OVERLAPPED& operation) {
  CancelIoEx(PortHandle(port), &operation);
  DWORD moved = 0;
  GetOverlappedResult(PortHandle(port), &operation, &moved, TRUE);
  return moved;
}

// One overlapped read under the timeouts in force, waited for to its end: with reads
// that never wait it ends at once. -1 on failure.
int ReadNow(Port& port, uint8_t* buffer, int n) {
  OVERLAPPED operation = {};
  operation.hEvent = State(port).readEvent;
  DWORD count = 0;
  if (!ReadFile(PortHandle(port), buffer, static_cast<DWORD>(n), &count, &operation)) {
    if (GetLastError() != ERROR_IO_PENDING ||
        !GetOverlappedResult(PortHandle(port), &operation, &count, TRUE)) {
      Trace("ReadFile failed: %lu", GetLastError());
      return -1;
    }
  }
  return static_cast<int>(count);
}

// Whether the driver holds received bytes. Wine's overlapped read under the time-outs
// that return at once still waits for a first byte; asking first keeps the read from
// waiting there too. When the driver cannot say, the read is tried.
bool InputWaiting(const Port& port) {
  DWORD errors = 0;
  COMSTAT state = {};
  if (!ClearCommError(PortHandle(port), &errors, &state)) return true;
  return state.cbInQue > 0;
}

void CloseIfHeld(HANDLE handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE && !CloseHandle(handle)) {
    Trace("CloseHandle failed: %lu", GetLastError());
  }
}

void CloseDevice(Port& port) {
  DeviceState* device = static_cast<DeviceState*>(port.state);
  if (device == nullptr) return;
  CloseIfHeld(device->handle);
  CloseIfHeld(device->readEvent);
  CloseIfHeld(device->writeEvent);
  delete device;
  port.state = nullptr;
}

int OpenDevice(Port& port, const char* path) {
  char device[256];
  MapDevicePath(path, device, sizeof device);
  HANDLE handle = CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    ShowOpenFailure(GetLastError(), device);
    return -1;
  }
  DeviceState* state = new (std::nothrow) DeviceState;
  if (state == nullptr) {
    CloseIfHeld(handle);
    ShowOpenFailure(ERROR_NOT_ENOUGH_MEMORY, device);
    return -1;
  }
  state->handle = handle;
  port.state = state;
  state->readEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  state->writeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (state->readEvent == nullptr || state->writeEvent == nullptr) {
    ShowOpenFailure(GetLastError(), device);
    CloseDevice(port);
    return -1;
  }
  if (!SetReadTimeouts(port, MAXDWORD, 0)) {
    ShowStatusFailure("Error setting timeout structures.");
    CloseDevice(port);
    return -1;
  }
  return 0;
}

int SetDeviceLine(Port& port, uint32_t baud, int parity) {
  DCB line = {};
  line.DCBlength = sizeof line;
  if (!GetCommState(PortHandle(port), &line)) {
    Trace("GetCommState failed: %lu", GetLastError());
    ShowStatusFailure("Could not retrieve comm settings.");
    return -1;
  }
  BYTE parityCode = parity == kParityOdd    ? ODDPARITY
                    : parity == kParityEven ? EVENPARITY
                                            : NOPARITY;
  // The whole line, not only its speed: a port left by another program with XON/XOFF on
  // would swallow 0x11 and 0x13 inside frames, and one with CTS flow control on would
  // hold every write on a three-wire cable.
  line.BaudRate = baud;
  line.ByteSize = 8;
  line.Parity = parityCode;
  line.StopBits = ONESTOPBIT;
  line.fBinary = TRUE;
  line.fParity = parity != kParityNone;
  line.fOutxCtsFlow = FALSE;
  line.fOutxDsrFlow = FALSE;
  line.fDtrControl = DTR_CONTROL_ENABLE;
  line.fDsrSensitivity = FALSE;
  line.fTXContinueOnXoff = TRUE;
  line.fOutX = FALSE;
  line.fInX = FALSE;
  line.fErrorChar = FALSE;
  line.fNull = FALSE;
  line.fRtsControl = RTS_CONTROL_ENABLE;
  line.fAbortOnError = FALSE;
  if (!SetCommState(PortHandle(port), &line)) {
    Trace("SetCommState failed: %lu", GetLastError());
    ShowStatusFailure("Could not set comm settings.");
    return -1;
  }
  return 0;
}

int SendDeviceBreak(Port& port) {
  if (!SetCommBreak(PortHandle(port))) Trace("SetCommBreak failed: %lu", GetLastError());
  PauseUnlessStopped(port.stop, kBreakMs);
  if (!ClearCommBreak(PortHandle(port))) {
    Trace("ClearCommBreak failed: %lu", GetLastError());
    return -1;
  }
  return 0;
}

// A read after a wait for input starts with the byte the wait took in; a failure after
// it shows at the next read.
int ReadDevice(Port& port, uint8_t* buffer, int n) {
  DeviceState& device = State(port);
  int got = 0;
  if (device.peeked >= 0) {
    buffer[got++] = static_cast<uint8_t>(device.peeked);
    device.peeked = -1;
  }
  int count = got < n && InputWaiting(port) ? ReadNow(port, buffer + got, n - got) : 0;
  if (count < 0) return got > 0 ? got : -1;
  return got + count;
}

// One overlapped write, waited for: the bytes it moved, or -1 when it failed outright.
// A first try waits only as long as the bytes take on the wire and a little more.
int WriteOnce(Port& port, const uint8_t* buffer, int n, bool firstTry) {
  OVERLAPPED operation = {};
  operation.hEvent = State(port).writeEvent;
  DWORD count = 0;
  if (WriteFile(PortHandle(port), buffer, static_cast<DWORD>(n), &count, &operation)) {
    return static_cast<int>(count);
  }
  if (GetLastError() != ERROR_IO_PENDING) {
    Trace("WriteFile failed: %lu", GetLastError());
    return -1;
  }
  // The time the bytes take on the wire, and a second more for a line that takes none.
  uint32_t baud = port.lineBaud > 0 ? port.lineBaud : 9600;
  DWORD limit = static_cast<DWORD>(kWriteStallMs + static_cast<uint64_t>(n) * 10000 / baud);
  if (firstTry) limit = kFirstTryMs + static_cast<DWORD>(static_cast<uint64_t>(n) * 10000 / baud);
  if (WaitForOperation(port, operation.hEvent, limit) == WAIT_OBJECT_0) {
    if (GetOverlappedResult(PortHandle(port), &operation, &count, FALSE)) {
      return static_cast<int>(count);
    }
    Trace("WriteFile failed: %lu", GetLastError());
    return -1;
  }
  count = CancelOperation(port, operation);
  Trace("write cut short after %lu of %d bytes", static_cast<unsigned long>(count), n);
  return static_cast<int>(count);
}

// A write that has not finished in the time its bytes take is cancelled and the rest
// issued again, with the full limit: Wine now and then leaves an overlapped write on a
// serial port pending until something else happens on the line.
int WriteDevice(Port& port, const uint8_t* buffer, int n) {
  int written = 0;
  for (int tries = 0; written < n && tries < 2 && !PortStopped(port); ++tries) {
    int moved = WriteOnce(port, buffer + written, n - written, tries == 0);
    if (moved < 0) break;
    written += moved;
  }
  return written;
}

// A wait for input is a read of one byte that waits for it: the byte is kept for the
// next ReadPort.
int WaitForDevice(Port& port, int timeoutMs, int hangUpPauseMs) {
  DeviceState& device = State(port);
  if (device.peeked >= 0) return 1;
  if (!SetReadTimeouts(port, 0, 0)) return PauseUnlessStopped(port.stop, hangUpPauseMs) ? -1 : -2;
  uint8_t byte = 0;
  OVERLAPPED operation = {};
  operation.hEvent = device.readEvent;
  DWORD count = 0;
  int result = -1;
  if (ReadFile(PortHandle(port), &byte, 1, &count, &operation)) {
    result = count == 1 ? 1 : 0;
  } else if (GetLastError() == ERROR_IO_PENDING) {
    DWORD waited = WaitForOperation(port, operation.hEvent,
                                    timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    if (waited == WAIT_OBJECT_0) {
      result = GetOverlappedResult(PortHandle(port), &operation, &count, FALSE) ? 1 : -1;
    } else {
      count = CancelOperation(port, operation);  // a byte may have come all the same
      result = count == 1 ? 1 : waited == WAIT_OBJECT_0 + 1 ? -2 : waited == WAIT_TIMEOUT ? 0 : -1;
    }
  } else {
    Trace("ReadFile failed: %lu", GetLastError());
  }
  SetReadTimeouts(port, MAXDWORD, 0);
  if (result == 1 && count == 1) device.peeked = byte;
  if (result == 1 && count != 1) result = 0;
  if (result == -1) return PauseUnlessStopped(port.stop, hangUpPauseMs) ? -1 : -2;
  return result;
}

}  // namespace

const PortBackend kSerialDeviceBackend = {
    "serial device", OpenDevice,  SetDeviceLine, SendDeviceBreak, nullptr,
    ReadDevice,      WriteDevice, WaitForDevice, CloseDevice,
};
