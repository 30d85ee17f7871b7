// SPDX-License-Identifier: BSD-2-Clause
#include "capture/dump_streams.h"

#include "link/packet_type.h"

const DumpStream kDumpStreams[kDumpStreamCount] = {
    {"posn"},
    {"obsd"},
    {"corr"},
    {"nmea"},
};

int DumpStreamForPacketType(uint8_t type) {
  switch (type) {
    case TypeByte(PacketType::kPositionRecord):
      return kPosnStream;
    case TypeByte(PacketType::kRawObservation):
      return kObsdStream;
    case TypeByte(PacketType::kCorrection):
    case TypeByte(PacketType::kCorrectionMore):
      return kCorrStream;
    default:
      return -1;
  }
}
