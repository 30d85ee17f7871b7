// SPDX-License-Identifier: BSD-2-Clause
#include "base/byte_count_text.h"

#include <cstdio>

void ByteCountText(unsigned long long bytes, char* out, int size) {
  if (bytes < 1000) {
    std::snprintf(out, static_cast<size_t>(size), "%llu B", bytes);
  } else if (bytes < 999950) {  // above, "%.1f kB" would say 1000.0 kB
    std::snprintf(out, static_cast<size_t>(size), "%.1f kB", static_cast<double>(bytes) / 1e3);
  } else if (bytes < 999950000) {
    std::snprintf(out, static_cast<size_t>(size), "%.1f MB", static_cast<double>(bytes) / 1e6);
  } else {
    std::snprintf(out, static_cast<size_t>(size), "%.2f GB", static_cast<double>(bytes) / 1e9);
  }
}
