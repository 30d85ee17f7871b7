// SPDX-License-Identifier: BSD-2-Clause
#include "web/web_form.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/hex_digit.h"

namespace {

// Decodes form[0..length) into value; false when it does not fit or a %-escape is bad.
bool Decode(const char* form, int length, char* value, int size) {
  int out = 0;
  for (int i = 0; i < length; ++i) {
    if (out + 1 >= size) return false;
    char c = form[i];
    if (c == '+') {
      c = ' ';
    } else if (c == '%') {
      int high = i + 2 < length ? HexDigitValue(form[i + 1]) : -1;
      int low = i + 2 < length ? HexDigitValue(form[i + 2]) : -1;
      if (high < 0 || low < 0 || (high == 0 && low == 0)) return false;
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    value[out++] = c;
  }
  value[out] = '\0';
  return true;
}

}  // namespace

bool FormValue(const char* form, const char* name, char* value, int size) {
  size_t nameLength = std::strlen(name);
  for (const char* field = form; *field != '\0';) {
    const char* end = std::strchr(field, '&');
    int length =
        end != nullptr ? static_cast<int>(end - field) : static_cast<int>(std::strlen(field));
    if (static_cast<size_t>(length) > nameLength && std::strncmp(field, name, nameLength) == 0 &&
        field[nameLength] == '=') {
      return Decode(field + nameLength + 1, length - static_cast<int>(nameLength) - 1, value, size);
    }
    field += length;
    if (*field == '&') ++field;
  }
  return false;
}

bool HostIsLoopback(const char* host) {
  const char* end = host + std::strlen(host);
  if (*host == '[') {
    const char* close = std::strchr(host, ']');
    if (close == nullptr || (close[1] != '\0' && close[1] != ':')) return false;
    return close - host == 4 && std::strncmp(host, "[::1]", 5) == 0;
  }
  const char* colon = std::strchr(host, ':');
  if (colon != nullptr) end = colon;
  size_t length = static_cast<size_t>(end - host);
  if (length == 9 && std::strncmp(host, "localhost", 9) == 0) return true;
  // 127.0.0.0/8, as four numbers
  int parts[4];
  char tail = 0;
  std::string name(host, length);
  if (std::sscanf(name.c_str(), "%d.%d.%d.%d%c", &parts[0], &parts[1], &parts[2], &parts[3],
                  &tail) != 4) {
    return false;
  }
  for (int part : parts) {
    if (part < 0 || part > 255) return false;
  }
  return parts[0] == 127;
}
