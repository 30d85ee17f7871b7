// SPDX-License-Identifier: BSD-2-Clause
#include "port/serial_ports.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

// Text compared as text, but a run of digits as its number.
bool ComesBefore(const char* a, const char* b) {
  while (*a != '\0' && *b != '\0') {
    if (std::isdigit(static_cast<unsigned char>(*a)) &&
        std::isdigit(static_cast<unsigned char>(*b))) {
      char* endA = nullptr;
      char* endB = nullptr;
      unsigned long numberA = std::strtoul(a, &endA, 10);
      unsigned long numberB = std::strtoul(b, &endB, 10);
      if (numberA != numberB) return numberA < numberB;
      a = endA;
      b = endB;
      continue;
    }
    if (*a != *b) return static_cast<unsigned char>(*a) < static_cast<unsigned char>(*b);
    ++a;
    ++b;
  }
  return *a == '\0' && *b != '\0';
}

}  // namespace

void SortPortList(PortList& list) {
  std::sort(list.ports, list.ports + list.count,
            [](const ListedPort& a, const ListedPort& b) { return ComesBefore(a.path, b.path); });
}
