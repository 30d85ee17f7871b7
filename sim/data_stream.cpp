// SPDX-License-Identifier: BSD-2-Clause
#include "sim/data_stream.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include "link/packet.h"

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

void PositionRecord(uint32_t second, std::vector<uint8_t>& data) {
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

struct SimSatellite {
  int id, elevation, azimuth, signal;
};

struct SimSystem {
  const char* talker;  // of its GSV sentences
  int systemId;        // NMEA 4.10's, in GSA
  SimSatellite satellites[8];
  int count;
};

// A sky over the Netherlands: GPS, GLONASS (ids 65-96), Galileo and BeiDou.
constexpr SimSystem kSky[] = {
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
constexpr int kLowestUsed = 12;  // degrees: lower ones are tracked, not used

// GSV sentences of one system, four satellites each, the sky turning slowly.
void SkySentences(const SimSystem& system, uint32_t second,
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

void UsedSentence(const SimSystem& system, const std::function<void(const char*)>& sentence) {
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
  std::snprintf(body + used, sizeof body - static_cast<size_t>(used), ",1.2,0.7,1.0,%d",
                system.systemId);
  sentence(body);
}

}  // namespace

// An RTK rover wandering by a few centimetres about its mark, with a float spell of 20 s
// every ten minutes; the sky's sentences every third second, as receivers often send them.
void AppendDataBurst(const ReceiverModel&, uint32_t second, double garbage, std::mt19937& random,
                     std::vector<uint8_t>& out) {
  uint32_t s = second % 86400;
  unsigned hh = s / 3600, mm = s / 60 % 60, ss = s % 60;
  double t = static_cast<double>(second);
  double north = 0.015 * std::sin(t / 37.0) + 0.008 * std::sin(t / 11.0);  // metres
  double east = 0.015 * std::cos(t / 41.0) + 0.008 * std::cos(t / 13.0);
  double latitudeMinutes = 13.1522 + north / 1852.0;
  double longitudeMinutes = 7.4261 + east / (1852.0 * 0.6129);  // cos 52.2 degrees
  int quality = second % 600 >= 300 && second % 600 < 320 ? 5 : 4;
  char body[90];
  std::vector<uint8_t> item;
  auto sentence = [&](const char* text) {
    item.clear();
    AppendSentence(text, item);
    AppendItem(item, garbage, random, out);
  };
  std::snprintf(body, sizeof body,
                "GNGGA,%02u%02u%02u.00,52%09.6f,N,005%09.6f,E,%d,16,0.7,%.2f,M,47.0,M,1,0031", hh,
                mm, ss, latitudeMinutes, longitudeMinutes, quality,
                12.22 + 0.02 * std::sin(t / 53.0));
  sentence(body);
  std::snprintf(body, sizeof body,
                "GNRMC,%02u%02u%02u.00,A,52%09.6f,N,005%09.6f,E,0.0,54.7,071226,,,R", hh, mm, ss,
                latitudeMinutes, longitudeMinutes);
  sentence(body);
  std::snprintf(body, sizeof body, "GNGST,%02u%02u%02u.00,0.8,0.02,0.01,45.0,%.3f,%.3f,%.3f", hh,
                mm, ss, quality == 4 ? 0.012 : 0.150, quality == 4 ? 0.010 : 0.140,
                quality == 4 ? 0.025 : 0.300);
  sentence(body);
  if (second % 3 == 0) {
    for (const SimSystem& system : kSky) SkySentences(system, second, sentence);
    for (const SimSystem& system : kSky) UsedSentence(system, sentence);
  }
  std::vector<uint8_t> data;
  PositionRecord(second, data);
  struct Packet {
    uint8_t type;
    size_t size;
  } packets[] = {{0x40, 58}, {0x57, 20 + second % 200}, {0x93, 30}, {0x94, 12 + second % 90}};
  for (const Packet& packet : packets) {
    if (packet.type != 0x40) {
      data.resize(packet.size);
      for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(random());
    }
    item.clear();
    AppendFrame(packet.type, data.data(), static_cast<int>(data.size()), item);
    AppendItem(item, garbage, random, out);
  }
}
