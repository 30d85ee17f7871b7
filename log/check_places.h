// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// Where the system shows its processes and devices; tests may point elsewhere.
struct CheckPlaces {
  const char* proc = "/proc";
  const char* sys = nullptr;  // null: the system's own
};
