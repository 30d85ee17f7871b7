// SPDX-License-Identifier: BSD-2-Clause
#include "web/web_form.h"

#include <cstring>

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes form[0..length) into value; false when it does not fit or a %-escape is bad.
bool Decode(const char* form, int length, char* value, int size) {
  int out = 0;
  for (int i = 0; i < length; ++i) {
    if (out + 1 >= size) return false;
    char c = form[i];
    if (c == '+') {
      c = ' ';
    } else if (c == '%') {
      int high = i + 2 < length ? HexDigit(form[i + 1]) : -1;
      int low = i + 2 < length ? HexDigit(form[i + 2]) : -1;
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
