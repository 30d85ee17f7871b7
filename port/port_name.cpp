// SPDX-License-Identifier: BSD-2-Clause
#include "port/port_name.h"

#include <cstdio>
#include <cstring>

bool MatchComPortName(const char* name, unsigned& number) {
  if (std::strncmp(name, "\\\\.\\", 4) == 0) name += 4;
  if (std::strncmp(name, "com", 3) != 0 && std::strncmp(name, "COM", 3) != 0) return false;
  const char* digits = name + 3;
  if (*digits < '1' || *digits > '9') return false;
  unsigned value = 0;
  for (const char* c = digits; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9' || value > 100000) return false;
    value = value * 10 + static_cast<unsigned>(*c - '0');
  }
  number = value;
  return true;
}

bool IsNetworkName(const char* name) {
  return std::strncmp(name, "rfc2217://", 10) == 0 || std::strncmp(name, "tcp://", 6) == 0;
}

bool ParseNetName(const char* name, int& kind, char* host, int hostSize, char* service,
                  int serviceSize) {
  const char* rest;
  if (std::strncmp(name, "rfc2217://", 10) == 0) {
    kind = kRfc2217;
    rest = name + 10;
  } else if (std::strncmp(name, "tcp://", 6) == 0) {
    kind = kRawTcp;
    rest = name + 6;
  } else {
    return false;
  }
  const char* hostEnd;
  const char* colon;
  if (*rest == '[') {  // [IPv6 address]:port
    ++rest;
    hostEnd = std::strchr(rest, ']');
    if (hostEnd == nullptr || hostEnd[1] != ':') return false;
    colon = hostEnd + 1;
  } else {
    colon = std::strrchr(rest, ':');
    hostEnd = colon;
  }
  if (colon == nullptr || hostEnd == rest || colon[1] == '\0') return false;
  int hostLength = static_cast<int>(hostEnd - rest);
  const char* port = colon + 1;
  for (const char* c = port; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9' || c - port >= 5) return false;
  }
  if (hostLength >= hostSize || static_cast<int>(std::strlen(port)) >= serviceSize) return false;
  std::snprintf(host, static_cast<size_t>(hostSize), "%.*s", hostLength, rest);
  std::snprintf(service, static_cast<size_t>(serviceSize), "%s", port);
  return true;
}
