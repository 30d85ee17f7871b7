// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "sim/receiver_model.h"

// What takes time on the simulated receiver's side of the line: bytes it sends, carried
// at the line's speed (10 bits a byte) when line time is on, and keys, which change its
// screen a while after they arrive. Both queues are bounded: when one is full, everything
// in it is due at once.

using SimClock = std::chrono::steady_clock;

constexpr size_t kMaxPendingKeys = 64;
constexpr size_t kMaxOnTheLine = 256;

struct LineTiming {
  struct Chunk {
    std::vector<uint8_t> bytes;
    SimClock::time_point at;  // when the last of them has arrived
  };
  struct Key {
    uint8_t code;
    SimClock::time_point at;
  };
  std::deque<Chunk> onTheLine;
  SimClock::time_point lineFreeAt;
  std::deque<Key> pendingKeys;
};

// Where bytes that have arrived go: the receiver's end of the line.
using LineWriter = void (*)(void* context, const uint8_t* bytes, int count);

// Puts bytes on the line behind what is already on its way, at `baud`.
void PutOnLine(LineTiming& timing, const uint8_t* bytes, int count, uint32_t baud,
               SimClock::time_point now, LineWriter write, void* context);
// Hands over the bytes that have arrived by `now` (all: everything on the line).
void DeliverDue(LineTiming& timing, bool all, SimClock::time_point now, LineWriter write,
                void* context);

// A key that changes the screen at `at`.
void DelayKey(LineTiming& timing, ReceiverModel& model, uint8_t code, SimClock::time_point at);
// Applies the keys due by `now` (all: every key waiting).
void ApplyDueKeys(LineTiming& timing, ReceiverModel& model, bool all, SimClock::time_point now);

// When the next byte arrives or the next key takes effect; max() when nothing waits.
SimClock::time_point NextLineEvent(const LineTiming& timing);
