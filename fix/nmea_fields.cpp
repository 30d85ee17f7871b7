// SPDX-License-Identifier: BSD-2-Clause
#include "fix/nmea_fields.h"

#include <cstring>

namespace {

bool Digit(char c) {
  return c >= '0' && c <= '9';
}

// A run of digits as a number, [at, at + count) of the field; false unless all are digits.
bool Digits(const char* text, int count, int& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    if (!Digit(text[i])) return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

bool SplitSentence(const char* sentence, NmeaFields& fields) {
  fields = NmeaFields();
  if (sentence[0] != '$' && sentence[0] != '!') return false;
  const char* end = sentence + 1;
  while (*end != '\0' && *end != '*' && *end != '\r' && *end != '\n') ++end;
  const char* at = sentence + 1;
  for (;;) {
    const char* comma =
        static_cast<const char*>(std::memchr(at, ',', static_cast<size_t>(end - at)));
    const char* fieldEnd = comma != nullptr ? comma : end;
    fields.start[fields.count] = at;
    fields.length[fields.count] = static_cast<int>(fieldEnd - at);
    ++fields.count;
    if (comma == nullptr || fields.count == kMaxNmeaFields) break;
    at = comma + 1;
  }
  int addressLength = fields.length[0];
  if (addressLength >= 1 && fields.start[0][0] == 'P') {
    fields.talker[0] = 'P';
    return true;
  }
  if (addressLength != 5) return false;
  std::memcpy(fields.talker, fields.start[0], 2);
  std::memcpy(fields.type, fields.start[0] + 2, 3);
  return true;
}

bool FieldEmpty(const NmeaFields& fields, int index) {
  return index >= fields.count || fields.length[index] == 0;
}

bool FieldNumber(const NmeaFields& fields, int index, double& value) {
  if (FieldEmpty(fields, index)) return false;
  const char* text = fields.start[index];
  int length = fields.length[index];
  int at = 0;
  bool negative = text[0] == '-';
  if (text[0] == '-' || text[0] == '+') at = 1;
  double whole = 0;
  double scale = 1;
  int digits = 0;
  bool point = false;
  for (; at < length; ++at) {
    char c = text[at];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (!Digit(c) || ++digits > 15) return false;
    whole = whole * 10 + (c - '0');
    if (point) scale *= 10;
  }
  if (digits == 0) return false;
  value = (negative ? -whole : whole) / scale;
  return true;
}

bool FieldInteger(const NmeaFields& fields, int index, long low, long high, long& value) {
  if (FieldEmpty(fields, index) || fields.length[index] > 9) return false;
  int read = 0;
  const char* text = fields.start[index];
  bool negative = text[0] == '-';
  int skip = negative ? 1 : 0;
  if (fields.length[index] == skip || !Digits(text + skip, fields.length[index] - skip, read)) {
    return false;
  }
  long number = negative ? -static_cast<long>(read) : read;
  if (number < low || number > high) return false;
  value = number;
  return true;
}

bool FieldLetter(const NmeaFields& fields, int index, char& letter) {
  if (FieldEmpty(fields, index)) return false;
  letter = fields.start[index][0];
  return true;
}

bool FieldAngle(const NmeaFields& fields, int index, int maxDegrees, double& degrees) {
  double raw = 0;
  char side = 0;
  if (!FieldNumber(fields, index, raw) || raw < 0 || !FieldLetter(fields, index + 1, side)) {
    return false;
  }
  // The degrees are what stands before the last two digits of the whole minutes.
  const char* point = static_cast<const char*>(
      std::memchr(fields.start[index], '.', static_cast<size_t>(fields.length[index])));
  int wholeDigits =
      point != nullptr ? static_cast<int>(point - fields.start[index]) : fields.length[index];
  int degreeDigits = maxDegrees == 90 ? 2 : 3;
  if (wholeDigits != degreeDigits + 2) return false;
  double whole = static_cast<double>(static_cast<long>(raw / 100));
  double minutes = raw - whole * 100;
  if (minutes >= 60) return false;
  double value = whole + minutes / 60;
  if (value > maxDegrees) return false;
  bool negativeSide = maxDegrees == 90 ? side == 'S' : side == 'W';
  bool positiveSide = maxDegrees == 90 ? side == 'N' : side == 'E';
  if (!negativeSide && !positiveSide) return false;
  degrees = negativeSide ? -value : value;
  return true;
}

bool FieldTimeOfDay(const NmeaFields& fields, int index, double& seconds) {
  if (FieldEmpty(fields, index) || fields.length[index] < 6) return false;
  const char* text = fields.start[index];
  int hours, minutes, wholeSeconds;
  if (!Digits(text, 2, hours) || !Digits(text + 2, 2, minutes) ||
      !Digits(text + 4, 2, wholeSeconds) || hours > 23 || minutes > 59 || wholeSeconds > 60) {
    return false;
  }
  double fraction = 0;
  if (fields.length[index] > 6) {
    if (text[6] != '.') return false;
    double scale = 1;
    for (int i = 7; i < fields.length[index]; ++i) {
      if (!Digit(text[i]) || i > 12) return false;
      scale /= 10;
      fraction += (text[i] - '0') * scale;
    }
  }
  seconds = hours * 3600.0 + minutes * 60.0 + wholeSeconds + fraction;
  return true;
}

bool FieldDate(const NmeaFields& fields, int index, int& year, int& month, int& day) {
  if (FieldEmpty(fields, index) || fields.length[index] != 6) return false;
  const char* text = fields.start[index];
  int d, m, y;
  if (!Digits(text, 2, d) || !Digits(text + 2, 2, m) || !Digits(text + 4, 2, y) || d < 1 ||
      d > 31 || m < 1 || m > 12) {
    return false;
  }
  day = d;
  month = m;
  year = y < 80 ? 2000 + y : 1900 + y;
  return true;
}
