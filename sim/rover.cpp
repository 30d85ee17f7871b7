// SPDX-License-Identifier: BSD-2-Clause
#include "sim/rover.h"

#include <cmath>

const SimSystem kSimSky[kSimSystems] = {
    {"GP",
     1,
     {{2, 45, 120, 44},
      {5, 30, 210, 40},
      {7, 62, 45, 47},
      {12, 15, 300, 35},
      {13, 20, 80, 38},
      {15, 55, 160, 45},
      {18, 10, 330, 31},
      {21, 70, 250, 48}},
     8},
    {"GL", 2, {{65, 40, 60, 42}, {72, 20, 150, 38}, {80, 60, 270, 45}, {81, 8, 20, 29}}, 4},
    {"GA", 3, {{11, 35, 100, 41}, {24, 50, 220, 43}, {36, 25, 340, 39}}, 3},
    {"GB", 4, {{14, 62, 330, 47}, {23, 18, 110, 36}, {33, 42, 190, 44}}, 3},
};

Rover RoverAt(int64_t second) {
  Rover rover;
  double t = static_cast<double>(second % 86400);
  double north = 0.015 * std::sin(t / 37.0) + 0.008 * std::sin(t / 11.0);  // metres
  double east = 0.015 * std::cos(t / 41.0) + 0.008 * std::cos(t / 13.0);
  rover.latitudeMinutes = 13.1522 + north / 1852.0;
  rover.longitudeMinutes = 7.4261 + east / (1852.0 * 0.6129);  // cos 52.2 degrees
  rover.height = 12.22 + 0.02 * std::sin(t / 53.0);
  rover.quality = second % 600 >= 300 && second % 600 < 320 ? 5 : 4;
  for (const SimSystem& system : kSimSky) {
    rover.inView += system.count;
    for (int i = 0; i < system.count; ++i)
      rover.used += system.satellites[i].elevation >= kLowestUsed;
  }
  return rover;
}
