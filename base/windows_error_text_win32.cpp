// SPDX-License-Identifier: BSD-2-Clause
#include <windows.h>

#include <cstdio>

#include "base/windows_error_text.h"

void WindowsErrorText(unsigned long error, char* out, int size) {
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), out,
                                static_cast<DWORD>(size), nullptr);
  while (length > 0 && (out[length - 1] == '\r' || out[length - 1] == '\n' ||
                        out[length - 1] == ' ' || out[length - 1] == '.')) {
    out[--length] = '\0';
  }
  if (length == 0) std::snprintf(out, static_cast<size_t>(size), "Error %lu", error);
}
