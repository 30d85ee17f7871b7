// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// One NMEA 0183 sentence cut into its fields, and the readers of a field's value. The
// sentence's checksum has been checked already; the fields are not trusted: each reader
// says false for an empty, malformed or out-of-range field, and the caller keeps what it
// knew. Numbers are read without the C library's locale (a panel may run in one whose
// decimal mark is a comma).

constexpr int kMaxNmeaFields = 128;  // a sentence is at most 255 characters

struct NmeaFields {
  const char* start[kMaxNmeaFields] = {};
  int length[kMaxNmeaFields] = {};
  int count = 0;
  char talker[3] = {};  // "GP", "GN"...; "P" for a proprietary sentence
  char type[4] = {};    // "GGA", "GSV"...
};

// From "$GPGGA,..." up to the "*" (or the text's end). Field 0 is the address. false when
// the text does not start like a sentence.
bool SplitSentence(const char* sentence, NmeaFields& fields);

bool FieldEmpty(const NmeaFields& fields, int index);
// A decimal number such as "-12.345" (no exponent, at most 15 digits).
bool FieldNumber(const NmeaFields& fields, int index, double& value);
// A whole number in [low, high].
bool FieldInteger(const NmeaFields& fields, int index, long low, long high, long& value);
// The field's first character ("A", "N"...); false when empty.
bool FieldLetter(const NmeaFields& fields, int index, char& letter);
// Latitude or longitude: "ddmm.mmmm" in field index and N/S or E/W in the next, in degrees
// (south and west negative). `maxDegrees` is 90 or 180.
bool FieldAngle(const NmeaFields& fields, int index, int maxDegrees, double& degrees);
// "hhmmss" or "hhmmss.ss": seconds since midnight, UTC.
bool FieldTimeOfDay(const NmeaFields& fields, int index, double& seconds);
// "ddmmyy": the date, years 1980 to 2079.
bool FieldDate(const NmeaFields& fields, int index, int& year, int& month, int& day);
