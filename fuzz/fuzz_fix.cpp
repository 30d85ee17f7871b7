// SPDX-License-Identifier: BSD-2-Clause
// The fix built from any lines of text taken as sentences: whatever they hold, the state
// stays within its bounds and every value it calls known lies in its range.
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fix/fix_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto fix = std::make_unique<FixState>();
  *fix = FixState{};
  char line[256];
  size_t at = 0;
  Tick now = 0;
  while (at < size) {
    size_t length = 0;
    while (at < size && data[at] != '\n' && length < sizeof line - 1)
      line[length++] = static_cast<char>(data[at++]);
    ++at;
    line[length] = '\0';
    ApplySentence(*fix, line, now += 100);
    if (now % 1000 == 0) AgeSatellites(*fix, now);
    assert(fix->satelliteCount >= 0 && fix->satelliteCount <= kMaxSatellites);
    assert(fix->quality >= kUnknownFix && fix->quality <= kSimulatedFix);
    assert(!fix->havePosition ||
           (std::fabs(fix->latitude) <= 90 && std::fabs(fix->longitude) <= 180));
    assert(fix->hdop == kUnknown || (fix->hdop >= 0 && fix->hdop < 100));
    for (int i = 0; i < fix->satelliteCount; ++i) {
      const SatelliteInView& satellite = fix->satellites[i];
      assert(satellite.system < kGnssSystems);
      assert(satellite.elevation >= -90 && satellite.elevation <= 90);
      assert(satellite.azimuth >= -1 && satellite.azimuth < 360);
      assert(satellite.signal >= -1 && satellite.signal < 100);
      assert(satellite.signalCount >= 0 && satellite.signalCount <= kMaxSignals);
      char label[16];
      SatelliteLabel(satellite, label, sizeof label);
    }
    char summary[64], report[2048];
    FixSummaryText(*fix, now, true, summary, sizeof summary);
    assert(std::strlen(summary) < sizeof summary);
    FixReportText(*fix, report, sizeof report);
  }
  return 0;
}
