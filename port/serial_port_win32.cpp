// SPDX-License-Identifier: BSD-2-Clause
// The serial port on Windows: CreateFileA on \\.\COMn, the line through GetCommState and
// SetCommState, and overlapped reads and writes, so that a wait for input or for room to
// write can also watch the stop signal instead of spinning.

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "port/device_port.h"
#include "port/serial_port.h"
#include "base/status_message.h"
#include "base/tick.h"
#include "base/trace.h"

namespace {

constexpr int kWriteStallMs = 1000;
constexpr DWORD kFirstTryMs = 50;
constexpr int kMessageSize = 120;

HANDLE Handle(std::intptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}

HANDLE PortHandle(const SerialPort& port) {
  return Handle(port.handle);
}

bool PortOpen(const SerialPort& port) {
  return port.handle != -1;
}

// The system's own words for an error, without the line end and full stop it adds.
void SystemText(DWORD error, char* out, int size) {
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), out,
                                static_cast<DWORD>(size), nullptr);
  if (length == 0) {
    std::snprintf(out, static_cast<size_t>(size), "Error %lu", static_cast<unsigned long>(error));
    return;
  }
  while (length > 0 && (out[length - 1] == '\r' || out[length - 1] == '\n' ||
                        out[length - 1] == ' ' || out[length - 1] == '.')) {
    out[--length] = '\0';
  }
}

void ShowOpenFailure(DWORD error, const char* path) {
  char reason[kMessageSize];
  SystemText(error, reason, sizeof reason);
  char text[400];
  std::snprintf(text, sizeof text, "%s: %s", reason, path);
  Trace("CreateFileA %s failed: %lu", path, static_cast<unsigned long>(error));
  ShowStatusFailure(text);
}

// Reads that return at once with whatever has arrived (interval MAXDWORD, totals 0), or,
// for a wait, reads that wait for their first byte (all 0).
bool SetReadTimeouts(const SerialPort& port, DWORD interval, DWORD constant) {
  COMMTIMEOUTS timeouts = {};
  timeouts.ReadIntervalTimeout = interval;
  timeouts.ReadTotalTimeoutConstant = constant;
  if (SetCommTimeouts(PortHandle(port), &timeouts)) return true;
  Trace("SetCommTimeouts failed: %lu", GetLastError());
  return false;
}

HANDLE StopEvent(const SerialPort& port) {
  return port.stop != nullptr ? Handle(port.stop->wake.handle) : nullptr;
}

// Waits for an overlapped operation, the stop signal or the time. WAIT_OBJECT_0 when the
// operation completed, WAIT_OBJECT_0 + 1 when stopped, WAIT_TIMEOUT, or WAIT_FAILED.
DWORD WaitForOperation(const SerialPort& port, HANDLE done, DWORD timeoutMs) {
  HANDLE events[2] = {done, StopEvent(port)};
  DWORD count = events[1] != nullptr ? 2 : 1;
  return WaitForMultipleObjects(count, events, FALSE, timeoutMs);
}

// Ends an overlapped operation that is still pending; what it moved counts all the same.
DWORD CancelOperation(const SerialPort& port, OVERLAPPED& operation) {
  CancelIoEx(PortHandle(port), &operation);
  DWORD moved = 0;
  GetOverlappedResult(PortHandle(port), &operation, &moved, TRUE);
  return moved;
}

// One overlapped read under the timeouts in force, waited for to its end: with reads
// that never wait it ends at once. -1 on failure.
int ReadNow(SerialPort& port, uint8_t* buffer, int n) {
  OVERLAPPED operation = {};
  operation.hEvent = Handle(port.readEvent);
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

void CloseEvent(std::intptr_t& event) {
  if (event != -1 && !CloseHandle(Handle(event))) Trace("CloseHandle failed: %lu", GetLastError());
  event = -1;
}

bool MakeEvent(std::intptr_t& event) {
  HANDLE made = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (made == nullptr) return false;
  event = reinterpret_cast<std::intptr_t>(made);
  return true;
}

}  // namespace

void CloseDevice(SerialPort& port) {
  if (PortOpen(port) && !CloseHandle(PortHandle(port))) {
    Trace("CloseHandle failed: %lu", GetLastError());
  }
  port.handle = -1;
  CloseEvent(port.readEvent);
  CloseEvent(port.writeEvent);
  port.peeked = -1;
  port.lineBaud = 0;
  port.lineParity = -1;
}

void MapDevicePath(const char* name, char* out, size_t outSize) {
  unsigned number = 0;
  if (MatchComPortName(name, number)) {
    std::snprintf(out, outSize, "\\\\.\\COM%u", number);
  } else {
    std::snprintf(out, outSize, "%s", name);
  }
}

int OpenDevice(SerialPort& port, const char* path) {
  CloseDevice(port);
  port.readFailing = false;
  char device[256];
  MapDevicePath(path, device, sizeof device);
  HANDLE handle = CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    ShowOpenFailure(GetLastError(), device);
    return -1;
  }
  port.handle = reinterpret_cast<std::intptr_t>(handle);
  if (!MakeEvent(port.readEvent) || !MakeEvent(port.writeEvent)) {
    ShowOpenFailure(GetLastError(), device);
    CloseDevice(port);
    return -1;
  }
  Trace("opened %s", device);
  if (!SetReadTimeouts(port, MAXDWORD, 0)) {
    ShowStatusFailure("Error setting timeout structures.");
    return -1;
  }
  ShowStatusMessage("Communications opened.");
  return SetDeviceLine(port, 9600, kParityNone);
}

int SetDeviceLine(SerialPort& port, uint32_t baud, int parity) {
  DCB line = {};
  line.DCBlength = sizeof line;
  if (!PortOpen(port) || !GetCommState(PortHandle(port), &line)) {
    Trace("GetCommState failed: %lu", GetLastError());
    ShowStatusFailure("Could not retrieve comm settings.");
    return -1;
  }
  BYTE parityCode;
  if (parity == kParityNone) {
    parityCode = NOPARITY;
  } else if (parity == kParityOdd) {
    parityCode = ODDPARITY;
  } else if (parity == kParityEven) {
    parityCode = EVENPARITY;
  } else {
    ShowStatusFailure("Un-recognized parity");
    return -1;
  }
  // The whole line, not only its speed: a port left by another program with XON/XOFF on
  // would swallow 0x11 and 0x13 inside frames, and one with CTS flow control on would
  // hold every write on a three-wire cable. Baud 0 is no speed at all: no device runs at it.
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
  if (baud == 0 || !SetCommState(PortHandle(port), &line)) {
    Trace("SetCommState failed: %lu", GetLastError());
    ShowStatusFailure("Could not set comm settings.");
    return -1;
  }
  port.lineBaud = baud;
  port.lineParity = parity;
  Trace("line set to %u baud, parity %d", baud, parity);
  return 0;
}

int SendDeviceBreak(SerialPort& port) {
  if (!SetCommBreak(PortHandle(port))) Trace("SetCommBreak failed: %lu", GetLastError());
  PauseUnlessStopped(port, kBreakMs);
  if (!ClearCommBreak(PortHandle(port))) {
    Trace("ClearCommBreak failed: %lu", GetLastError());
    return -1;
  }
  return 0;
}

// As the platform's own flush: reads of 300 bytes that wait 10 ms in all, until one
// brings fewer; and never longer than the flush's limit, whatever keeps arriving.
void FlushDevice(SerialPort& port) {
  if (!PortOpen(port)) return;
  port.peeked = -1;
  COMMTIMEOUTS saved = {};
  GetCommTimeouts(PortHandle(port), &saved);
  SetReadTimeouts(port, kFlushReadMs, kFlushReadMs);
  uint8_t scratch[kFlushChunk];
  Deadline limit;
  SetDeadline(limit, kFlushLimitMs / 1000.0);
  int drained = 0;
  int count;
  do {
    count = ReadNow(port, scratch, kFlushChunk);
    if (count > 0) drained += count;
  } while (count == kFlushChunk && DeadlinePassed(limit) == 0 && !PortStopped(port));
  SetCommTimeouts(PortHandle(port), &saved);
  Trace("flushed %d bytes", drained);
}

int ReadDevice(SerialPort& port, uint8_t* buffer, int n) {
  if (n <= 0) return 0;
  if (!PortOpen(port)) {
    NoteReadFailure(port);
    return 0;
  }
  int got = 0;
  if (port.peeked >= 0) {
    buffer[got++] = static_cast<uint8_t>(port.peeked);
    port.peeked = -1;
  }
  int count = got < n ? ReadNow(port, buffer + got, n - got) : 0;
  if (count < 0) {
    NoteReadFailure(port);
    return got;
  }
  got += count;
  if (got > 0) {
    port.readFailing = false;
    TraceBytes("read", buffer, got);
  }
  return got;
}

// One overlapped write, waited for: the bytes it moved, or -1 when it failed outright.
// A first try waits only as long as the bytes take on the wire and a little more.
int WriteOnce(SerialPort& port, const uint8_t* buffer, int n, bool firstTry) {
  OVERLAPPED operation = {};
  operation.hEvent = Handle(port.writeEvent);
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
int WriteDevice(SerialPort& port, const uint8_t* buffer, int n) {
  int written = 0;
  for (int tries = 0; PortOpen(port) && written < n && tries < 2 && !PortStopped(port); ++tries) {
    int moved = WriteOnce(port, buffer + written, n - written, tries == 0);
    if (moved < 0) break;
    written += moved;
  }
  return FinishWrite(port, buffer, n, written);
}

// A wait for input is a read of one byte that waits for it: the byte is kept for the
// next ReadPort.
int WaitForDevice(SerialPort& port, int timeoutMs, int hangUpPauseMs) {
  if (PortStopped(port)) return -2;
  if (port.peeked >= 0) return 1;
  if (!PortOpen(port) || !SetReadTimeouts(port, 0, 0)) {
    return PauseUnlessStopped(port, hangUpPauseMs) ? -1 : -2;
  }
  uint8_t byte = 0;
  OVERLAPPED operation = {};
  operation.hEvent = Handle(port.readEvent);
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
  if (result == 1 && count == 1) port.peeked = byte;
  if (result == 1 && count != 1) result = 0;
  if (result == -1) return PauseUnlessStopped(port, hangUpPauseMs) ? -1 : -2;
  return result;
}

bool PauseUnlessStopped(SerialPort& port, int ms) {
  if (ms > 0) {
    HANDLE stop = StopEvent(port);
    if (stop != nullptr) {
      WaitForSingleObject(stop, static_cast<DWORD>(ms));
    } else {
      Sleep(static_cast<DWORD>(ms));
    }
  }
  return !PortStopped(port);
}
