// SPDX-License-Identifier: BSD-2-Clause
#include <cstring>

#include "port/serial_port.h"

bool MatchComPortName(const char* name, unsigned& number) {
  if (std::strncmp(name, "\\\\.\\", 4) == 0) name += 4;
  if (std::strncmp(name, "com", 3) != 0 && std::strncmp(name, "COM", 3) != 0) return false;
  const char* digits = name + 3;
  if (*digits < '1' || *digits > '9') return false;
  unsigned value = 0;
  for (const char* c = digits; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9' || value > 100000) return false;
    value = value * 10 + static_cast<unsigned>(*c - '0');
  }
  number = value;
  return true;
}
