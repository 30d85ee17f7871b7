// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/replay.h"

// A recording played again: its stream follows the identification with its original
// timing, speedUp times faster, and its screens answer the screen requests in order.

using SimClock = std::chrono::steady_clock;

struct ReplayPlayer {
  const Replay* replay = nullptr;  // kept by the caller; null: nothing to play
  double speedUp = 1;
  bool playing = false;  // the stream is under way
  SimClock::time_point start;
  size_t chunk = 0;               // the next chunk of the stream
  size_t screen = 0;              // the next recorded screen
  bool screenOwed = false;        // asked for while the stream is in the middle of an item
  std::atomic<bool> done{false};  // all of the stream has been sent
};

// The stream starts over from `now` (the identification has just been sent).
void StartReplayStream(ReplayPlayer& player, SimClock::time_point now);

// Whether chunks of the stream are still to come.
bool ReplayPending(const ReplayPlayer& player);
// When the next chunk is due (only while pending).
SimClock::time_point ReplayDueAt(const ReplayPlayer& player);
// The next chunk when it is due by `now`, else null; taking it moves on.
const std::vector<uint8_t>* TakeDueChunk(ReplayPlayer& player, SimClock::time_point now);
// Whether the stream sent so far ends between two items, where a screen cuts nothing.
bool ReplayAtCleanPoint(const ReplayPlayer& player);
// The recorded screens in order, the last again when they run out; null without any.
const std::vector<uint8_t>* NextRecordedScreen(ReplayPlayer& player);
