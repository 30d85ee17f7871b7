// SPDX-License-Identifier: BSD-2-Clause
#include "capture/nmea_ring.h"

int PushNmea(NmeaRing& nmea, const uint8_t* bytes, int count) {
  return PushBytes(nmea.ring, bytes, count);
}

void ResetNmea(NmeaRing& nmea) {
  nmea.ring.read = 0;
  nmea.ring.write = 0;
  nmea.sentenceLength = 0;
}
