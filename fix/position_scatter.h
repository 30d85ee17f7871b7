// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// The positions of the last hour about their running mean, in metres east, north and up,
// and their spread: how a surveyor judges a fix that should stand still.

constexpr int kScatterPoints = 3600;

struct ScatterPoint {
  float east = 0, north = 0, up = 0;  // metres from the first position taken
};

struct PositionScatter {
  bool haveReference = false;
  double referenceLatitude = 0, referenceLongitude = 0, referenceHeight = 0;
  ScatterPoint points[kScatterPoints];
  int count = 0;  // held, at most kScatterPoints
  int next = 0;   // where the next one goes
};

struct ScatterStatistics {
  int count = 0;
  double meanEast = 0, meanNorth = 0, meanUp = 0;  // metres from the reference
  double radius50 = 0, radius95 = 0;  // half and 95% of the points lie this near the mean
  double sdUp = 0;                    // the heights' standard deviation
};

// Takes a position (degrees, metres above the ellipsoid); the oldest goes when full.
void AddPosition(PositionScatter& scatter, double latitude, double longitude, double height);
void ResetScatter(PositionScatter& scatter);
const ScatterPoint& ScatterAt(const PositionScatter& scatter, int index);  // 0: the oldest
ScatterStatistics ScatterStatisticsOf(const PositionScatter& scatter);
