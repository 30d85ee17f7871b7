// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "base/wake_signal.h"

// A TCP connection as the network port uses it, one file per platform (socket_posix.cpp,
// socket_win32.cpp). Every wait also ends on the given stop signal (null: none).

struct TcpSocket {
  std::intptr_t handle = -1;  // the platform's socket; -1 while none is open
  std::intptr_t event = -1;   // where the platform signals the socket's events; -1: none
};

// Connects to host:service within timeoutMs. 0 with the socket open; -1 with `failure`
// holding the system's reason ("Connection refused").
int ConnectSocket(TcpSocket& socket, const StopSignal* stop, const char* host, const char* service,
                  int timeoutMs, char* failure, int failureSize);

// Sends all n bytes, waiting up to stallMs at a time for room. The bytes sent.
int SendSocket(TcpSocket& socket, const StopSignal* stop, const uint8_t* bytes, int n, int stallMs);

// One receive that never waits: the bytes received, 0 when none are waiting, -1 when the
// peer has closed the connection or it failed.
int ReceiveSocket(TcpSocket& socket, uint8_t* buffer, int n);

// 1: something to receive (or the connection's end); 0: nothing came within timeoutMs
// (-1: no limit); -1: the wait failed; -2: the stop signal is raised.
int WaitForSocket(TcpSocket& socket, const StopSignal* stop, int timeoutMs);

void CloseSocket(TcpSocket& socket);
