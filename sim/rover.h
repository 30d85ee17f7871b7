// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// The simulated receiver's one story: an RTK rover over the Netherlands, wandering by a
// few centimetres about its mark, with a float spell of 20 s every ten minutes, under a
// sky of GPS, GLONASS, Galileo and BeiDou. Its screen and its NMEA sentences both tell it.

struct Rover {
  int quality = 4;                                   // GGA's: 4 RTK fixed, 5 RTK float
  double latitudeMinutes = 0, longitudeMinutes = 0;  // beyond 52 N and 5 E
  double height = 0;                                 // above mean sea level, m
  int used = 0, inView = 0;                          // satellites
  double pdop = 1.2, hdop = 0.7, vdop = 1.0;
};

// The rover at `second` (UTC seconds since 1970).
Rover RoverAt(int64_t second);

struct SimSatellite {
  int id, elevation, azimuth, signal;
};

struct SimSystem {
  const char* talker;  // of its GSV sentences
  int systemId;        // NMEA 4.10's, in GSA
  SimSatellite satellites[8];
  int count;
};

constexpr int kSimSystems = 4;
extern const SimSystem kSimSky[kSimSystems];
constexpr int kLowestUsed = 12;  // degrees: lower satellites are tracked, not used
