#include "capture/nmea_ring.h"

int PushNmea(NmeaRing& nmea, const uint8_t* bytes, int count) {
  return PushBytes(nmea.ring, bytes, count);
}
