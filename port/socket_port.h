// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "port/serial_port.h"

// A TCP connection as the network port uses it, one file per platform (socket_posix.cpp,
// socket_win32.cpp). The socket is the port's handle; every wait also ends on the port's
// stop signal.

// Connects to host:service within timeoutMs. 0 with port.handle set; -1 with `failure`
// holding the system's reason ("Connection refused").
int ConnectSocket(SerialPort& port, const char* host, const char* service, int timeoutMs,
                  char* failure, int failureSize);

// Sends all n bytes, waiting up to stallMs at a time for room. The bytes sent.
int SendSocket(SerialPort& port, const uint8_t* bytes, int n, int stallMs);

// One receive that never waits: the bytes received, 0 when none are waiting, -1 when the
// peer has closed the connection or it failed.
int ReceiveSocket(SerialPort& port, uint8_t* buffer, int n);

// 1: something to receive (or the connection's end); 0: nothing came within timeoutMs
// (-1: no limit); -1: the wait failed; -2: the stop signal is raised.
int WaitForSocket(SerialPort& port, int timeoutMs);

void CloseSocket(SerialPort& port);
