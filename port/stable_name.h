// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstddef>

// A name for a serial device that stays the same when the device is unplugged and comes
// back under another name (a USB adapter that was ttyUSB0 returns as ttyUSB1): on Linux,
// its link in /dev/serial/by-id/.

// Looks in `directory` (null: the system's own place) for a name of the device that the
// user's port name stands for. false when there is none.
bool FindStableDeviceName(const char* portName, char* out, size_t outSize,
                          const char* directory = nullptr);
