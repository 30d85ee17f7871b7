// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "port/telnet.h"
#include "base/wake_signal.h"

// The one serial port through which the receiver is reached: a serial device of the
// platform (serial_port_posix.cpp, serial_port_win32.cpp), or a serial port that a server
// on the network serves (net_port.cpp: "rfc2217://HOST:PORT" or "tcp://HOST:PORT").
// serial_port.cpp chooses by the name; nothing else touches the device.

enum ParityCode {
  kParityNone = 0,
  kParityOdd = 1,
  kParityEven = 2,
};

enum NetKind {
  kNotNetwork = 0,
  kRawTcp = 1,   // tcp://: a plain byte stream; nothing can be set remotely
  kRfc2217 = 2,  // rfc2217://: Telnet with the COM-PORT-OPTION
};

constexpr int kNetChunk = 512;
constexpr int kNetNameSize = 256;

// A receiver on the network: the connection's coding, and what has been received and
// decoded but not yet read.
struct NetLink {
  int kind = kNotNetwork;
  TelnetDecoder decoder;
  std::mutex sendLock;  // the reader answers negotiation while another thread writes
  uint8_t decoded[kNetChunk] = {};
  int decodedStart = 0;
  int decodedEnd = 0;
  std::atomic<bool> closed{false};  // the server has ended the connection
  bool switchRefused = false;       // tcp:// has said once that it cannot switch the line
  char name[kNetNameSize] = {};     // as the user gave it, for messages
};

struct Recorder;

struct SerialPort {
  std::intptr_t handle = -1;  // the platform's descriptor or handle; -1 while no port is held
  // Set while reads keep failing, so that "read failure." is shown once per outage.
  std::atomic<bool> readFailing{false};
  // What SetLineSettings last applied (a pseudo-terminal does not report parity back).
  uint32_t lineBaud = 0;
  int lineParity = -1;
  // While set, every wait on the port (for input, for room to write, the break) also ends
  // as soon as this is raised. Set before the thread that uses the port starts.
  StopSignal* stop = nullptr;
  // Where a platform reads and writes with overlapped I/O (Windows): its two completion
  // events, and the byte a wait for input has already taken in (-1: none).
  std::intptr_t readEvent = -1;
  std::intptr_t writeEvent = -1;
  int peeked = -1;
  NetLink net;
  // While set, every byte read and written, each line setting and each break is recorded.
  std::atomic<Recorder*> recorder{nullptr};

  SerialPort() = default;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  ~SerialPort();
};

// Opens the device exclusively, raw, with reads that never wait, at 9600 baud and no
// parity; or connects to the server that a network name points at. Any port held before
// is closed first. 0 = open, -1 = failed (shown).
int OpenPort(SerialPort& port, const char* path);

// Baud rate (any value the device accepts), 8 data bits, parity, 1 stop bit.
// 0 = applied, -1 = failed (shown); a failure leaves the line as it was.
int SetLineSettings(SerialPort& port, uint32_t baud, int parity);

// Holds the line in the break state for 300 ms. 0 = done, -1 = ending the break failed.
int SendBreak(SerialPort& port);

// Reads and discards everything that is waiting or arrives without a pause of ~10 ms.
// No read waits longer than ~10 ms, and the whole flush ends within ~100 ms even while
// bytes keep arriving.
void FlushInput(SerialPort& port);

// One read of up to n bytes that never waits; 0 when nothing is there or on failure.
int ReadPort(SerialPort& port, uint8_t* buffer, int n);

// Writes all n bytes; n on success, 0 on failure. A line that takes no byte for a second
// (flow control held off, a device gone) counts as a failure, as does a stop request.
int WritePort(SerialPort& port, const uint8_t* buffer, int n);

// Waits up to timeoutMs (-1: without limit) for input.
// 1: input is waiting; 0: none came; -1: the device reports a hang-up or an error
// (after waiting out the time-out, so that callers that retry do not spin, unless
// `pauseOnHangUp` is false: for a caller with a pause of its own for a line that is down);
// -2: the port's stop signal is raised.
int WaitForInput(SerialPort& port, int timeoutMs, bool pauseOnHangUp = true);

// Sleeps for ms, or less when the port's stop signal is raised; false when it was.
bool PauseUnlessStopped(SerialPort& port, int ms);

// Whether the port's stop signal has been raised: long operations end early.
inline bool PortStopped(const SerialPort& port) {
  return StopRaised(port.stop);
}

// Shows "read failure." unless the current outage has been reported already.
void NoteReadFailure(SerialPort& port);

// The end of every platform's WritePort: n when all `written` of n bytes went out, else
// 0 and "Write data failed." (not for a write cut short by a stop request).
int FinishWrite(SerialPort& port, const uint8_t* buffer, int n, int written);

// Closes the port if one is held, giving up exclusive use first so that the next open,
// by this program or another, is not refused.
void ClosePort(SerialPort& port);

// Whether a name is a receiver on the network: "rfc2217://..." or "tcp://...".
bool IsNetworkName(const char* name);

// The device that a user's port name stands for: "comN", "COMN" and "\\.\comN" name the
// N-th serial port of the platform; any other text is a path used as given.
void MapDevicePath(const char* name, char* out, size_t outSize);

// The N of "comN", "COMN", "\\.\comN" or "\\.\COMN" (N from 1, no leading zero).
bool MatchComPortName(const char* name, unsigned& number);
