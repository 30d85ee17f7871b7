// SPDX-License-Identifier: BSD-2-Clause
#include "share/screen_rounds.h"

#include <cstring>

namespace {

int KindOf(ScreenRounds& rounds, const uint8_t* data, int length) {
  for (int i = 0; i < rounds.kindCount; ++i) {
    const ScreenRequestKind& kind = rounds.kinds[i];
    if (kind.length == length && std::memcmp(kind.data, data, static_cast<size_t>(length)) == 0)
      return i;
  }
  if (rounds.kindCount == kScreenRequestKinds) return -1;
  ScreenRequestKind& kind = rounds.kinds[rounds.kindCount];
  std::memcpy(kind.data, data, static_cast<size_t>(length));
  kind.length = length;
  return rounds.kindCount++;
}

// When the next round for the last key's effect may open; -1: none is left.
Tick KeyRoundAt(const ScreenRounds& rounds) {
  if (rounds.keyRoundsUsed >= kKeyRounds) return -1;
  return rounds.keyAt + kKeyRoundMs[rounds.keyRoundsUsed];
}

bool KeyRoundDue(const ScreenRounds& rounds, Tick now) {
  Tick at = KeyRoundAt(rounds);
  return at >= 0 && now >= at;
}

bool RoundMayOpen(const ScreenRounds& rounds, Tick now) {
  return !rounds.anyOpened || KeyRoundDue(rounds, now) ||
         static_cast<int64_t>(now - rounds.openedAt) >= rounds.gapMs;
}

// Wanted requests not yet sent in the open round.
int TakeWanted(ScreenRounds& rounds, int* out, int size) {
  int count = 0;
  for (int i = 0; i < rounds.kindCount && count < size; ++i) {
    ScreenRequestKind& kind = rounds.kinds[i];
    if (!kind.wanted || kind.sentInRound) continue;
    kind.wanted = false;
    kind.sentInRound = true;
    out[count++] = i;
  }
  return count;
}

}  // namespace

bool AskForScreen(ScreenRounds& rounds, const uint8_t* data, int length, bool& passThrough) {
  passThrough = false;
  int index = length <= kMaxScreenRequestData ? KindOf(rounds, data, length) : -1;
  if (index < 0) {
    passThrough = true;
    return false;
  }
  ScreenRequestKind& kind = rounds.kinds[index];
  if (rounds.open && !rounds.stale && kind.sentInRound) return true;
  if (rounds.open && !rounds.stale) {
    kind.wanted = true;  // joins the open round: sent at once
    return true;
  }
  kind.wanted = true;
  return false;
}

void NoteKeyForwarded(ScreenRounds& rounds, Tick now) {
  rounds.keyAt = now;
  rounds.keyRoundsUsed = 0;
  if (rounds.open) rounds.stale = true;
}

bool RoundTimedOut(ScreenRounds& rounds, Tick now) {
  if (!rounds.open || static_cast<int64_t>(now - rounds.openedAt) < kRoundAnswerDueMs) {
    return false;
  }
  for (int i = 0; i < rounds.kindCount; ++i) {
    ScreenRequestKind& kind = rounds.kinds[i];
    kind.wanted = kind.wanted || kind.sentInRound;
  }
  ScreenAnswered(rounds);
  return true;
}

int DueRequests(ScreenRounds& rounds, bool anyoneWaits, Tick now, int* out, int size) {
  if (rounds.open) return rounds.stale ? 0 : TakeWanted(rounds, out, size);
  if (!anyoneWaits) {
    for (int i = 0; i < rounds.kindCount; ++i) rounds.kinds[i].wanted = false;  // askers left
    return 0;
  }
  if (!RoundMayOpen(rounds, now)) return 0;
  rounds.open = true;
  rounds.stale = false;
  // The key's rounds that have come count as opened: one round shows what they would.
  while (KeyRoundDue(rounds, now)) ++rounds.keyRoundsUsed;
  rounds.anyOpened = true;
  rounds.openedAt = now;
  int count = TakeWanted(rounds, out, size);
  if (count == 0) rounds.open = false;  // they wait for nothing this round could send
  return count;
}

void ScreenAnswered(ScreenRounds& rounds) {
  rounds.open = false;
  rounds.stale = false;
  for (int i = 0; i < rounds.kindCount; ++i) rounds.kinds[i].sentInRound = false;
}

int MsUntilRoundDue(const ScreenRounds& rounds, bool anyoneWaits, Tick now) {
  if (rounds.open) {
    int64_t left = kRoundAnswerDueMs - static_cast<int64_t>(now - rounds.openedAt);
    return left > 0 ? static_cast<int>(left) : 0;
  }
  if (!anyoneWaits) return -1;
  if (RoundMayOpen(rounds, now)) return 0;
  int64_t wait = rounds.gapMs - static_cast<int64_t>(now - rounds.openedAt);
  Tick keyRound = KeyRoundAt(rounds);
  if (keyRound >= 0 && keyRound - now < wait) wait = keyRound - now;
  return static_cast<int>(wait);
}

void ForgetRounds(ScreenRounds& rounds) {
  ScreenAnswered(rounds);
  for (int i = 0; i < rounds.kindCount; ++i) rounds.kinds[i].wanted = false;
}
