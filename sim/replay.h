// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The receiver's side of a recording, ready to be played again: its identification, the
// screens it sent in answer to requests (in order), and everything else it sent after
// the identification (data packets, NMEA, noise), each piece with its time.

struct ReplayChunk {
  uint64_t microseconds;  // after the identification reply
  std::vector<uint8_t> bytes;
};

struct Replay {
  std::string identification;
  std::vector<std::vector<uint8_t>> screens;  // whole frames of type 0x82
  std::vector<ReplayChunk> stream;
};

// false with `error` saying why (no such file, not a recording, no identification in it).
bool LoadReplay(const char* path, Replay& replay, std::string& error);

// Splits what the receiver sent after identifying itself: whole, valid screen frames go
// to `screens`; every other byte stays in the stream, in order, with its chunk's time.
void SplitScreens(std::vector<ReplayChunk>& stream, std::vector<std::vector<uint8_t>>& screens);
