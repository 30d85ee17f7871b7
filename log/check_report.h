// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// What the connection check says, line by line, for the portable probe and for each
// platform's look at the device.

#include <cstdio>

#include "log/check_places.h"

struct Report {
  void (*print)(void*, const char*);
  void* context;
  int problems = 0;
};

template <typename... Args>
inline void Say(Report& report, bool problem, const char* format, Args... args) {
  char line[1024];
  int used = std::snprintf(line, sizeof line, "%s", problem ? "PROBLEM: " : "ok: ");
  std::snprintf(line + used, sizeof line - static_cast<size_t>(used), format, args...);
  report.print(report.context, line);
  if (problem) ++report.problems;
}

inline void Note(Report& report, const char* text) {
  char line[1024];
  std::snprintf(line, sizeof line, "note: %s", text);
  report.print(report.context, line);
}

// The serial devices here, as a note; `hint` says what to look at when there are none.
void ListPortsHere(Report& report, const CheckPlaces& places, const char* hint);

// The platform's look at the device before the probe: does it exist, may this user open
// it, does another program hold it. false when the probe would not get anywhere.
bool CheckDevice(Report& report, const char* path, const CheckPlaces& places);
