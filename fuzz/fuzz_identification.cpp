// SPDX-License-Identifier: BSD-2-Clause
// The identification text scans on any text a receiver could send (up to 249 bytes).
#include <cassert>
#include <cstdint>
#include <cstring>

#include "link/identification.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 249) return 0;
  char text[256];
  std::memcpy(text, data, size);
  text[size] = '\0';
  char product[kProductSize];
  if (ScanProduct(text, product)) assert(std::strlen(product) < kProductSize);
  IsQz77Product(product);
  if (const char* port = std::strstr(text, ";PORT")) {
    PortRecord record;
    if (ScanPortRecord(port, record)) {
      uint32_t baud = NormaliseBaud(static_cast<uint32_t>(record.baud));
      (void)baud;
      int parity = ParityFromLetter(record.parityLetter);
      assert(parity >= 0 && parity <= 2);
    }
  }
  if (const char* version = std::strstr(text, ";VERSION")) {
    float value = 0;
    if (ScanVersion(version, value)) IsTwoLineCapable(product, value);
  }
  return 0;
}
