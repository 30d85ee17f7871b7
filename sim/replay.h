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
  // The chunk ends between two items (after a frame or a line), where a screen may be
  // sent without cutting one: reads split items anywhere, a receiver never does.
  bool cleanEnd = true;
};

struct Replay {
  std::string identification;
  std::vector<std::vector<uint8_t>> screens;  // whole frames of type 0x82
  std::vector<size_t> screenOffsets;          // each one's place in the stream, in bytes
  std::vector<ReplayChunk> stream;
  // Whether the receiver answered the probe; one that must be woken by a break does not.
  bool answersProbe = true;
  // Such a receiver sent its identification by itself this long after the probe; -1: it
  // answered the identification request.
  int unaskedReplyMs = -1;
};

// false with `error` saying why (no such file, not a recording, no identification in it).
bool LoadReplay(const char* path, Replay& replay, std::string& error);

// Splits what the receiver sent after identifying itself: whole, valid screen frames go
// to `screens`; every other byte stays in the stream, in order, with its chunk's time.
// With `offsets`, each screen's place: how many bytes of the stream came before it.
void SplitScreens(std::vector<ReplayChunk>& stream, std::vector<std::vector<uint8_t>>& screens,
                  std::vector<size_t>* offsets = nullptr);
// For each place in `bytes` (0 to its size), whether it lies between two items: at the
// start, after a whole frame, or after a line's end.
std::vector<bool> ItemBoundaries(const std::vector<uint8_t>& bytes);
// Marks each chunk whose end falls between two items of the stream.
void MarkCleanEnds(std::vector<ReplayChunk>& stream);
