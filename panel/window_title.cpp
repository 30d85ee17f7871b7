// SPDX-License-Identifier: BSD-2-Clause
#include "panel/window_title.h"

#include <cstdio>
#include <cstring>

#include "link/identification.h"

namespace {

// The device as a person names it: without "/dev/" and "\\.\", and a long path (a link
// in /dev/serial/by-id/) by its last part.
const char* DeviceShortName(const char* path) {
  if (std::strncmp(path, "/dev/", 5) == 0) path += 5;
  if (std::strncmp(path, "\\\\.\\", 4) == 0) path += 4;
  const char* slash = std::strrchr(path, '/');
  if (slash != nullptr && std::strlen(path) > 12 && slash[1] != '\0') path = slash + 1;
  return path;
}

}  // namespace

void WindowTitleText(int state, const char* identification, const char* path, char* out, int size) {
  char product[kProductSize];
  if (state == kTitleNotConnected || !ScanProduct(identification, product)) {
    std::snprintf(out, static_cast<size_t>(size), "Tarnex");
    return;
  }
  // The product runs up to the next field of the identification.
  product[std::strcspn(product, ",;")] = '\0';
  std::snprintf(out, static_cast<size_t>(size), "Tarnex - %.60s on %.120s%s", product,
                DeviceShortName(path), state == kTitleLost ? " (lost)" : "");
}
