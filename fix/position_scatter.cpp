// SPDX-License-Identifier: BSD-2-Clause
#include "fix/position_scatter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kEarthRadius = 6378137.0;  // metres; a sphere is plenty for centimetres
constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;

// The value below which `fraction` of the sorted values lie.
double Percentile(const float* sorted, int count, double fraction) {
  int at = static_cast<int>(std::ceil(fraction * count)) - 1;
  return sorted[std::clamp(at, 0, count - 1)];
}

}  // namespace

void AddPosition(PositionScatter& scatter, double latitude, double longitude, double height) {
  if (!scatter.haveReference) {
    scatter.referenceLatitude = latitude;
    scatter.referenceLongitude = longitude;
    scatter.referenceHeight = height;
    scatter.haveReference = true;
  }
  ScatterPoint& point = scatter.points[scatter.next];
  double metresPerDegree = kEarthRadius * kRadiansPerDegree;
  point.north = static_cast<float>((latitude - scatter.referenceLatitude) * metresPerDegree);
  point.east = static_cast<float>((longitude - scatter.referenceLongitude) * metresPerDegree *
                                  std::cos(scatter.referenceLatitude * kRadiansPerDegree));
  point.up = static_cast<float>(height - scatter.referenceHeight);
  scatter.next = (scatter.next + 1) % kScatterPoints;
  if (scatter.count < kScatterPoints) ++scatter.count;
}

void ResetScatter(PositionScatter& scatter) {
  scatter.haveReference = false;
  scatter.count = 0;
  scatter.next = 0;
}

const ScatterPoint& ScatterAt(const PositionScatter& scatter, int index) {
  int oldest = scatter.count < kScatterPoints ? 0 : scatter.next;
  return scatter.points[(oldest + index) % kScatterPoints];
}

ScatterStatistics ScatterStatisticsOf(const PositionScatter& scatter) {
  ScatterStatistics stats;
  stats.count = scatter.count;
  if (scatter.count == 0) return stats;
  for (int i = 0; i < scatter.count; ++i) {
    stats.meanEast += scatter.points[i].east;
    stats.meanNorth += scatter.points[i].north;
    stats.meanUp += scatter.points[i].up;
  }
  stats.meanEast /= scatter.count;
  stats.meanNorth /= scatter.count;
  stats.meanUp /= scatter.count;
  static thread_local float distances[kScatterPoints];
  double squares = 0;
  for (int i = 0; i < scatter.count; ++i) {
    const ScatterPoint& point = scatter.points[i];
    distances[i] =
        static_cast<float>(std::hypot(point.east - stats.meanEast, point.north - stats.meanNorth));
    squares += (point.up - stats.meanUp) * (point.up - stats.meanUp);
  }
  std::sort(distances, distances + scatter.count);
  stats.radius50 = Percentile(distances, scatter.count, 0.50);
  stats.radius95 = Percentile(distances, scatter.count, 0.95);
  stats.sdUp = scatter.count > 1 ? std::sqrt(squares / (scatter.count - 1)) : 0;
  return stats;
}
