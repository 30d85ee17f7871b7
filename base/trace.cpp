// SPDX-License-Identifier: BSD-2-Clause
#include "base/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/tick.h"

bool TraceEnabled() {
  static const bool enabled = [] {
    const char* value = std::getenv("TARNEX_TRACE");
    return value != nullptr && std::strcmp(value, "0") != 0;
  }();
  return enabled;
}

void Trace(const char* format, ...) {
  if (!TraceEnabled()) return;
  std::va_list args;
  va_start(args, format);
  std::fprintf(stderr, "tarnex %lld: ", static_cast<long long>(TickCount()));
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
}

void TraceBytes(const char* what, const unsigned char* bytes, int count) {
  if (!TraceEnabled()) return;
  std::fprintf(stderr, "tarnex %lld: %s %d:", static_cast<long long>(TickCount()), what, count);
  for (int i = 0; i < count; ++i) std::fprintf(stderr, " %02x", bytes[i]);
  std::fputc('\n', stderr);
}
