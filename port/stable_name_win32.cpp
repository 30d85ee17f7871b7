// SPDX-License-Identifier: BSD-2-Clause
// A COM port keeps its name when its adapter is plugged in again: there is nothing
// steadier to look for.

#include "port/stable_name.h"

bool FindStableDeviceName(const char*, char*, size_t, const char*) {
  return false;
}
