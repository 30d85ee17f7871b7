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

// The output speed last set on the slave, read through the master (any value).
uint32_t PtyLineSpeed(const PtyPair& pty);
