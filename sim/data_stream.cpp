// SPDX-License-Identifier: BSD-2-Clause
#include "sim/data_stream.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include "base/local_time.h"
#include "link/packet.h"
#include "link/packet_type.h"
#include "sim/rover.h"

namespace {

void AppendFrame(uint8_t type, const uint8_t* data, int length, std::vector<uint8_t>& out) {
  uint8_t frame[kMaxFrameLength];
  int size = BuildFrame(type, data, length, frame);
  out.insert(out.end(), frame, frame + size);
}

// Either the item as it is, or a damaged copy, or noise in its place.
void AppendItem(const std::vector<uint8_t>& item, double garbage, std::mt19937& random,
                std::vector<uint8_t>& out) {
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  if (garbage <= 0.0 || chance(random) >= garbage) {
    out.insert(out.end(), item.begin(), item.end());
    return;
  }
  std::vector<uint8_t> damaged = item;
  damaged[random() % damaged.size()] ^= static_cast<uint8_t>(1 + random() % 255);
  out.insert(out.end(), damaged.begin(), damaged.end());
  for (int i = static_cast<int>(random() % 8); i > 0; --i)
    out.push_back(static_cast<uint8_t>(random()));
}

void PositionRecord(int64_t second, std::vector<uint8_t>& data) {
  data.assign(58, 0);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(second * 7 + i * 13);
}

}  // namespace

void AppendSentence(const char* body, std::vector<uint8_t>& out) {
  uint8_t check = 0;
  for (const char* c = body; *c != '\0'; ++c) check ^= static_cast<uint8_t>(*c);
  char text[100];
  std::snprintf(text, sizeof text, "$%s*%02X\r\n", body, check);
  out.insert(out.end(), text, text + std::strlen(text));
}

namespace {

// GSV sentences of one system, four satellites each, the sky turning slowly.
void SkySentences(const SimSystem& system, int64_t second,
                  const std::function<void(const char*)>& sentence) {
  int total = (system.count + 3) / 4;
  for (int part = 0; part < total; ++part) {
    char body[90];
    int used = std::snprintf(body, sizeof body, "%sGSV,%d,%d,%02d", system.talker, total, part + 1,
                             system.count);
    for (int i = part * 4; i < system.count && i < part * 4 + 4; ++i) {
      const SimSatellite& satellite = system.satellites[i];
      int azimuth = static_cast<int>((satellite.azimuth + second / 120) % 360);
      used += std::snprintf(body + used, sizeof body - static_cast<size_t>(used),
                            ",%02d,%02d,%03d,%02d", satellite.id, satellite.elevation, azimuth,
                            satellite.signal);
    }
    sentence(body);
  }
}

void UsedSentence(const SimSystem& system, const Rover& rover,
                  const std::function<void(const char*)>& sentence) {
  char body[90];
  int used = std::snprintf(body, sizeof body, "GNGSA,A,3");
  for (int slot = 0, i = 0; slot < 12; ++slot) {
    while (i < system.count && system.satellites[i].elevation < kLowestUsed) ++i;
    if (i < system.count) {
      used += std::snprintf(body + used, sizeof body - static_cast<size_t>(used), ",%02d",
                            system.satellites[i++].id);
    } else {
      used += std::snprintf(body + used, sizeof body - static_cast<size_t>(used), ",");
    }
  }
  std::snprintf(body + used, sizeof body - static_cast<size_t>(used), ",%.1f,%.1f,%.1f,%d",
                rover.pdop, rover.hdop, rover.vdop, system.systemId);
  sentence(body);
}

}  // namespace

// The rover's second (sim/rover.h), as the receiver sends it; the sky's sentences every
// third second, as receivers often send them.
void AppendDataBurst(const ReceiverModel&, int64_t second, double garbage, std::mt19937& random,
                     std::vector<uint8_t>& out) {
  Rover rover = RoverAt(second);
  int64_t s = second % 86400;
  unsigned hh = static_cast<unsigned>(s / 3600), mm = static_cast<unsigned>(s / 60 % 60),
           ss = static_cast<unsigned>(s % 60);
  std::tm utc = {};
  char date[16] = "010126";
  if (UtcTime(static_cast<std::time_t>(second), utc))
    std::strftime(date, sizeof date, "%d%m%y", &utc);
  char body[100];
  std::vector<uint8_t> item;
  auto sentence = [&](const char* text) {
    item.clear();
    AppendSentence(text, item);
    AppendItem(item, garbage, random, out);
  };
  std::snprintf(body, sizeof body,
                "GNGGA,%02u%02u%02u.00,52%09.6f,N,005%09.6f,E,%d,%02d,%.1f,%.2f,M,47.0,M,1,0031",
                hh, mm, ss, rover.latitudeMinutes, rover.longitudeMinutes, rover.quality,
                rover.used, rover.hdop, rover.height);
  sentence(body);
  std::snprintf(
      body, sizeof body, "GNRMC,%02u%02u%02u.00,A,52%09.6f,N,005%09.6f,E,0.0,54.7,%s,,,%c", hh, mm,
      ss, rover.latitudeMinutes, rover.longitudeMinutes, date, rover.quality == 4 ? 'R' : 'F');
  sentence(body);
  bool fixed = rover.quality == 4;
  std::snprintf(body, sizeof body, "GNGST,%02u%02u%02u.00,0.8,0.02,0.01,45.0,%.3f,%.3f,%.3f", hh,
                mm, ss, fixed ? 0.012 : 0.150, fixed ? 0.010 : 0.140, fixed ? 0.025 : 0.300);
  sentence(body);
  if (second % 3 == 0) {
    for (const SimSystem& system : kSimSky) SkySentences(system, second, sentence);
    for (const SimSystem& system : kSimSky) UsedSentence(system, rover, sentence);
  }
  std::vector<uint8_t> data;
  PositionRecord(second, data);
  size_t varied = static_cast<size_t>(second % 1800);
  struct Packet {
    uint8_t type;
    size_t size;
  } packets[] = {{TypeByte(PacketType::kPositionRecord), 58},
                 {TypeByte(PacketType::kRawObservation), 20 + varied % 200},
                 {TypeByte(PacketType::kCorrection), 30},
                 {TypeByte(PacketType::kCorrectionMore), 12 + varied % 90}};
  for (const Packet& packet : packets) {
    if (packet.type != TypeByte(PacketType::kPositionRecord)) {
      data.resize(packet.size);
      for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(random());
    }
    item.clear();
    AppendFrame(packet.type, data.data(), static_cast<int>(data.size()), item);
    AppendItem(item, garbage, random, out);
  }
}
