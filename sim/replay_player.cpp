// SPDX-License-Identifier: BSD-2-Clause
#include "sim/replay_player.h"

void StartReplayStream(ReplayPlayer& player, SimClock::time_point now) {
  if (player.replay == nullptr) return;
  player.playing = true;
  player.start = now;
  player.chunk = 0;
}

bool ReplayPending(const ReplayPlayer& player) {
  return player.playing && player.chunk < player.replay->stream.size();
}

SimClock::time_point ReplayDueAt(const ReplayPlayer& player) {
  const ReplayChunk& next = player.replay->stream[player.chunk];
  auto after = std::chrono::microseconds(
      static_cast<int64_t>(static_cast<double>(next.microseconds) / player.speedUp));
  return player.start + after;
}

const std::vector<uint8_t>* TakeDueChunk(ReplayPlayer& player, SimClock::time_point now) {
  if (!ReplayPending(player) || ReplayDueAt(player) > now) {
    if (player.playing && !ReplayPending(player)) player.done = true;
    return nullptr;
  }
  return &player.replay->stream[player.chunk++].bytes;
}

bool ReplayAtCleanPoint(const ReplayPlayer& player) {
  if (!ReplayPending(player) || player.chunk == 0) return true;
  return player.replay->stream[player.chunk - 1].cleanEnd;
}

const std::vector<uint8_t>* NextRecordedScreen(ReplayPlayer& player) {
  const Replay* replay = player.replay;
  if (replay == nullptr || replay->screens.empty()) return nullptr;
  size_t index =
      player.screen < replay->screens.size() ? player.screen++ : replay->screens.size() - 1;
  return &replay->screens[index];
}
