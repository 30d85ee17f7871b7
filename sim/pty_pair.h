// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// A pseudo-terminal whose slave side stands in for a serial device. The receiver plays
// on the master side; the slave is also held open here, so that the line stays up while
// the program under test closes and reopens it.
struct PtyPair {
  int master = -1;
  int slaveHold = -1;
  char slavePath[64] = {};
};

bool OpenPtyPair(PtyPair& pty);
void ClosePtyPair(PtyPair& pty);

// Leaves the line as another program may leave a port: XON/XOFF flow control both ways
// and CR turned into NL on input. A program that does not set the whole line raw then
// loses those bytes. false when the settings cannot be changed (said).
bool CookPtyLine(const PtyPair& pty);

// The output speed last set on the slave, read through the master (any value).
uint32_t PtyLineSpeed(const PtyPair& pty);
