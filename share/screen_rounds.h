// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "base/tick.h"

// Screen requests from many clients, coalesced: at most one round of requests awaits its
// screen at the receiver, whoever asked, and rounds follow each other no faster than one
// panel polls, except for a key's effect (kKeyRoundMs).
// A round is the distinct requests its askers sent (a panel sends a long and a short
// one), each sent once. The receiver sees no more requests with many clients than with one.

constexpr int kScreenRequestKinds = 4;
constexpr int kMaxScreenRequestData = 16;
// A round whose screen has not come by then is given up; the next may go.
constexpr int kRoundAnswerDueMs = 1000;
// After a key, rounds open without waiting for the gap from these times on, one each: at
// once, for a client that asks right after its key, then when one panel's follow-ups ask
// for a key's effect. A receiver that handles a key at once shows it to the first, a
// slower one to a later one.
constexpr int kKeyRoundMs[] = {0, 40, 140, 280};
constexpr int kKeyRounds = sizeof kKeyRoundMs / sizeof kKeyRoundMs[0];

struct ScreenRequestKind {
  uint8_t data[kMaxScreenRequestData] = {};
  int length = 0;
  bool wanted = false;  // some asker waits for a round that sends it
  bool sentInRound = false;
};

struct ScreenRounds {
  ScreenRequestKind kinds[kScreenRequestKinds];
  int kindCount = 0;
  int gapMs = 900;                 // the least time from one round to the next: one panel's poll
  bool open = false;               // a round awaits its screen
  bool stale = false;              // a key went out after the open round's requests
  Tick keyAt = 0;                  // the last key forwarded
  int keyRoundsUsed = kKeyRounds;  // of the rounds for its effect
  bool anyOpened = false;
  Tick openedAt = 0;
};

// A request asked for. true when the open round answers it already (the same request is
// on its way, and no key has gone out since); false when the asker waits for a round to
// come. A request too long to coalesce is sent as it is (`passThrough`).
bool AskForScreen(ScreenRounds& rounds, const uint8_t* data, int length, bool& passThrough);

void NoteKeyForwarded(ScreenRounds& rounds, Tick now);

// The open round given up, its screen late: true once, when that happened now (its
// askers wait for the next round, which asks for the same again).
bool RoundTimedOut(ScreenRounds& rounds, Tick now);

// The requests to send now, as indices into `kinds`, in the order they were first asked;
// opening a round when one is due and someone waits. The count.
int DueRequests(ScreenRounds& rounds, bool anyoneWaits, Tick now, int* out, int size);

// A screen came: the round is over.
void ScreenAnswered(ScreenRounds& rounds);

// How long until a round may open for those who wait, or the open one is given up; -1:
// nothing is due.
int MsUntilRoundDue(const ScreenRounds& rounds, bool anyoneWaits, Tick now);

// The receiver went: nothing awaits its answer any more.
void ForgetRounds(ScreenRounds& rounds);
