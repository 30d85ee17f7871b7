// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdio>

// Appends formatted text to `out` (of `size` bytes) at `used`, never past its end: a line
// built of parts that may not all fit is cut, not overrun.
template <typename... Args>
void AppendText(char* out, int size, int& used, const char* format, Args... args) {
  if (used >= size - 1) return;
  int n = std::snprintf(out + used, static_cast<size_t>(size - used), format, args...);
  if (n > 0) used = used + n < size - 1 ? used + n : size - 1;
}
