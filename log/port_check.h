// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// tarnex-log --check: the commonest reasons a serial port does not work in the field, each
// as one line that says what was found and what to do. It changes nothing on the
// receiver: the only byte it sends is the ENQ that identification sends first.

#include "log/check_places.h"

// Prints each finding through `print`. Returns the number of problems found.
int CheckPort(const char* device, void (*print)(void* context, const char* line), void* context,
              const CheckPlaces& places = CheckPlaces());
