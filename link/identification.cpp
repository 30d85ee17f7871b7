// SPDX-License-Identifier: BSD-2-Clause
#include "link/identification.h"

#include <cstdio>
#include <cstring>

#include "port/parity.h"

bool ScanProduct(const char* text, char (&product)[kProductSize]) {
  std::memset(product, 0, sizeof product);
  static_assert(kProductSize == 255, "the width below is kProductSize - 1");
  return std::sscanf(text, "PRODUCT,%254s,%*s", product) >= 1;
}

void ProductAndFirmware(const char* identification, char* product, size_t productSize,
                        char* firmware, size_t firmwareSize) {
  char name[kProductSize];
  if (!ScanProduct(identification, name)) name[0] = '\0';
  name[std::strcspn(name, ",;")] = '\0';
  std::snprintf(product, productSize, "%s", name);
  const char* version = std::strstr(identification, ";VERSION,");
  firmware[0] = '\0';
  if (version == nullptr) return;
  version += std::strlen(";VERSION,");
  std::snprintf(firmware, firmwareSize, "%.*s", static_cast<int>(std::strcspn(version, ",; \r\n")),
                version);
}

bool ScanPortRecord(const char* record, PortRecord& out) {
  return std::sscanf(record, ";PORT,%lu,%*d,%lu,%*d,%*d,%c,%*s", &out.portNumber, &out.baud,
                     &out.parityLetter) == 3;
}

bool ScanVersion(const char* record, float& version) {
  return std::sscanf(record, ";VERSION,%f", &version) == 1;
}

uint32_t NormaliseBaud(uint32_t reported) {
  struct Window {
    uint32_t above, below, rate;
  };
  static constexpr Window kWindows[] = {
      {9500, 9700, 9600},    {19000, 19400, 19200},    {38000, 38800, 38400},
      {57000, 58200, 57600}, {113000, 118000, 115200},
  };
  for (const Window& window : kWindows) {
    if (reported > window.above && reported < window.below) return window.rate;
  }
  return reported;
}

int ParityFromLetter(char letter) {
  if (letter == 'E') return kParityEven;
  if (letter == 'O') return kParityOdd;
  return kParityNone;
}

bool IsQz77Product(const char* product) {
  return std::strncmp(product, "QZ77", 4) == 0;
}

bool IsTwoLineCapable(const char* product, float version) {
  return !(version < 1.4f) && std::strncmp(product, "VELTARIS", 8) == 0;
}
