// SPDX-License-Identifier: BSD-2-Clause
#include "share/address_range.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// "a.b.c.d" into four bytes.
bool ParseV4(const char* text, uint8_t* out) {
  for (int part = 0; part < 4; ++part) {
    if (*text < '0' || *text > '9') return false;
    int value = 0;
    int digits = 0;
    for (; *text >= '0' && *text <= '9'; ++text, ++digits) value = value * 10 + (*text - '0');
    if (digits > 3 || value > 255) return false;
    out[part] = static_cast<uint8_t>(value);
    if (part < 3 && *text++ != '.') return false;
  }
  return *text == '\0';
}

// Colon-separated hex groups up to `end`, at most `room` of them (a trailing dotted IPv4
// address counts as two). The number of groups, or -1.
int ParseGroups(const char* text, const char* end, uint16_t* groups, int room) {
  int count = 0;
  while (text < end) {
    const char* colon = static_cast<const char*>(std::memchr(text, ':', end - text));
    const char* stop = colon != nullptr ? colon : end;
    if (colon == nullptr && std::memchr(text, '.', end - text) != nullptr) {
      uint8_t v4[4];
      char copy[16];
      if (end - text >= static_cast<long>(sizeof copy) || count + 2 > room) return -1;
      std::memcpy(copy, text, end - text);
      copy[end - text] = '\0';
      if (!ParseV4(copy, v4)) return -1;
      groups[count++] = static_cast<uint16_t>(v4[0] << 8 | v4[1]);
      groups[count++] = static_cast<uint16_t>(v4[2] << 8 | v4[3]);
      return count;
    }
    if (stop == text || stop - text > 4 || count == room) return -1;
    unsigned value = 0;
    for (const char* c = text; c < stop; ++c) {
      int digit = *c >= '0' && *c <= '9'   ? *c - '0'
                  : *c >= 'a' && *c <= 'f' ? *c - 'a' + 10
                  : *c >= 'A' && *c <= 'F' ? *c - 'A' + 10
                                           : -1;
      if (digit < 0) return -1;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    groups[count++] = static_cast<uint16_t>(value);
    if (colon == nullptr) break;
    text = colon + 1;
    if (text == end) return -1;  // a trailing single colon
  }
  return count;
}

bool ParseV6(const char* text, uint8_t* out) {
  uint16_t head[8] = {};
  uint16_t tail[8] = {};
  const char* gap = std::strstr(text, "::");
  const char* end = text + std::strlen(text);
  int headCount = 0;
  int tailCount = 0;
  if (gap == nullptr) {
    headCount = ParseGroups(text, end, head, 8);
    if (headCount != 8) return false;
  } else {
    if (std::strstr(gap + 2, "::") != nullptr) return false;
    headCount = ParseGroups(text, gap, head, 7);
    tailCount = ParseGroups(gap + 2, end, tail, 7);
    if (headCount < 0 || tailCount < 0 || headCount + tailCount > 7) return false;
  }
  uint16_t groups[8] = {};
  for (int i = 0; i < headCount; ++i) groups[i] = head[i];
  for (int i = 0; i < tailCount; ++i) groups[8 - tailCount + i] = tail[i];
  for (int i = 0; i < 8; ++i) {
    out[2 * i] = static_cast<uint8_t>(groups[i] >> 8);
    out[2 * i + 1] = static_cast<uint8_t>(groups[i]);
  }
  return true;
}

bool IsV4Mapped(const uint8_t* bytes) {
  static const uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  return std::memcmp(bytes, kPrefix, sizeof kPrefix) == 0;
}

bool PrefixMatches(const uint8_t* a, const uint8_t* b, int bits) {
  int whole = bits / 8;
  if (std::memcmp(a, b, static_cast<size_t>(whole)) != 0) return false;
  int rest = bits % 8;
  if (rest == 0) return true;
  auto mask = static_cast<uint8_t>(0xFF << (8 - rest));
  return (a[whole] & mask) == (b[whole] & mask);
}

// One item of a list: an address, with "/prefix" or without (the address alone).
bool ParseRange(const char* item, AddressRange& out) {
  char text[64];
  const char* slash = std::strchr(item, '/');
  size_t length = slash != nullptr ? static_cast<size_t>(slash - item) : std::strlen(item);
  if (length >= sizeof text) return false;
  std::memcpy(text, item, length);
  text[length] = '\0';
  if (!ParseNetAddress(text, out.base)) return false;
  int most = out.base.v4 ? 32 : 128;
  out.prefix = most;
  if (slash == nullptr) return true;
  char* end = nullptr;
  long prefix = std::strtol(slash + 1, &end, 10);
  if (end == slash + 1 || *end != '\0' || prefix < 0 || prefix > most) return false;
  out.prefix = static_cast<int>(prefix);
  return true;
}

}  // namespace

bool ParseNetAddress(const char* text, NetAddress& out) {
  out = NetAddress{};
  if (ParseV4(text, out.bytes)) return true;
  uint8_t v6[16];
  if (std::strchr(text, ':') == nullptr || !ParseV6(text, v6)) return false;
  if (IsV4Mapped(v6)) {
    std::memcpy(out.bytes, v6 + 12, 4);
    return true;
  }
  out.v4 = false;
  std::memcpy(out.bytes, v6, sizeof v6);
  return true;
}

bool ParseAddressRanges(const char* text, AddressRanges& out, char* error, int errorSize) {
  out.count = 0;
  char item[80];
  for (const char* at = text;;) {
    const char* comma = std::strchr(at, ',');
    size_t length = comma != nullptr ? static_cast<size_t>(comma - at) : std::strlen(at);
    std::snprintf(item, sizeof item, "%.*s", static_cast<int>(length), at);
    if (out.count == kMaxAddressRanges) {
      std::snprintf(error, static_cast<size_t>(errorSize), "more than %d addresses",
                    kMaxAddressRanges);
      return false;
    }
    if (length >= sizeof item || !ParseRange(item, out.ranges[out.count])) {
      std::snprintf(error, static_cast<size_t>(errorSize),
                    "%.40s is not an address nor a range such as 192.168.1.0/24", item);
      return false;
    }
    ++out.count;
    if (comma == nullptr) return true;
    at = comma + 1;
  }
}

void LoopbackRanges(AddressRanges& out) {
  char error[100];
  ParseAddressRanges("127.0.0.0/8,::1", out, error, sizeof error);
}

bool InRanges(const AddressRanges& ranges, const NetAddress& address) {
  for (int i = 0; i < ranges.count; ++i) {
    const AddressRange& range = ranges.ranges[i];
    if (range.base.v4 == address.v4 &&
        PrefixMatches(range.base.bytes, address.bytes, range.prefix)) {
      return true;
    }
  }
  return false;
}

void NetAddressText(const NetAddress& address, char* out, int size) {
  const uint8_t* b = address.bytes;
  if (address.v4) {
    std::snprintf(out, static_cast<size_t>(size), "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return;
  }
  int runStart = -1;
  int runLength = 0;
  for (int i = 0; i < 8;) {
    int j = i;
    while (j < 8 && b[2 * j] == 0 && b[2 * j + 1] == 0) ++j;
    if (j - i > runLength && j - i > 1) {
      runStart = i;
      runLength = j - i;
    }
    i = j > i ? j : i + 1;
  }
  int used = 0;
  out[0] = '\0';
  for (int i = 0; i < 8 && used < size; ++i) {
    if (i == runStart) {
      used += std::snprintf(out + used, static_cast<size_t>(size - used), "::");
      i += runLength - 1;
      continue;
    }
    bool colon = i > 0 && i != runStart + runLength;
    used += std::snprintf(out + used, static_cast<size_t>(size - used), "%s%x", colon ? ":" : "",
                          b[2 * i] << 8 | b[2 * i + 1]);
  }
}
