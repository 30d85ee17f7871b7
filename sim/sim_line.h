// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "sim/pty_pair.h"

// The simulated receiver's end of the line: the master side of a pseudo-terminal, or one
// client at a time on a loopback TCP port.

struct SimLine {
  PtyPair pty;            // over a pseudo-terminal
  int listenHandle = -1;  // over TCP: the listener
  int client = -1;        // over TCP: the one connected client
  bool overTcp = false;
};

// Opens a pseudo-terminal (left cooked when asked), or listens on 127.0.0.1:tcpPort when
// tcpPort is above 0. false when that fails (said).
bool OpenSimLine(SimLine& line, int tcpPort, bool cooked);
void CloseSimLine(SimLine& line);

// Where the receiver reads and writes: the pty's master or the client; -1 while none.
int LineHandle(const SimLine& line);

// Writes everything, waiting (briefly) while the line's buffer is full.
void WriteToLine(SimLine& line, const uint8_t* bytes, int count);

// Takes a waiting client unless one is connected already (it is turned away).
void AcceptClient(SimLine& line);
// The client has gone or failed.
void EndClient(SimLine& line);

// The device vanishes: the pty is closed (the program sees a hang-up), or the client is
// let go.
void HangUpLine(SimLine& line);
