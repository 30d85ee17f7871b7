// SPDX-License-Identifier: BSD-2-Clause
#include "sim/data_stream.h"

#include <cstdio>
#include <cstring>

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

void AppendDataBurst(const ReceiverModel&, uint32_t second, double garbage, std::mt19937& random,
                     std::vector<uint8_t>& out) {
  uint32_t s = second % 86400;
  unsigned hh = s / 3600, mm = s / 60 % 60, ss = s % 60;
  unsigned drift = second % 600;
  char body[90];
  std::vector<uint8_t> item;
  auto sentence = [&](const char* text) {
    item.clear();
    AppendSentence(text, item);
    AppendItem(item, garbage, random, out);
  };
  std::snprintf(body, sizeof body,
                "GPGGA,%02u%02u%02u.00,5213.%04u,N,00507.%04u,E,1,09,0.9,12.%02u,M,47.0,M,,", hh,
                mm, ss, 1000 + drift, 4000 + drift / 2, drift % 100);
  sentence(body);
  std::snprintf(body, sizeof body,
                "GPRMC,%02u%02u%02u.00,A,5213.%04u,N,00507.%04u,E,0.1,54.7,071226,,", hh, mm, ss,
                1000 + drift, 4000 + drift / 2);
  sentence(body);
  sentence("GPGSA,A,3,02,05,07,12,13,15,18,21,24,,,,1.8,0.9,1.5");
  sentence("GPGSV,3,1,11,02,45,120,44,05,30,210,40,07,62,045,47,12,15,300,35");
  sentence("GPGSV,3,2,11,13,20,080,38,15,55,160,45,18,10,330,31,21,70,250,48");
  sentence("GPGSV,3,3,11,24,35,020,42,26,05,190,28,29,25,270,39");
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
