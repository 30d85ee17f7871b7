// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// The streams that are logged, each to its own file: posn.dmp, obsd.dmp, corr.dmp (whole
// frames as received) and nmea.dmp (accepted sentences).

enum DumpStreamId { kPosnStream, kObsdStream, kCorrStream, kNmeaStream, kDumpStreamCount };

// Every stream is written exactly as received, NMEA's CR LF included: in binary mode,
// so that no platform turns a line end into another.
struct DumpStream {
  const char* baseName;
};

extern const DumpStream kDumpStreams[kDumpStreamCount];

// The stream a packet type is logged to, or -1 for types that are not logged.
int DumpStreamForPacketType(uint8_t type);
