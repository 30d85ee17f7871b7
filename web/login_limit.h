// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include "base/tick.h"

// How often passwords may be tried, so that a guesser gets few guesses and the logger
// little work: an address that failed kLoginFailuresAllowed times within kLoginLockMs is
// refused for kLoginLockMs from its last failure; and whoever asks, a password is checked
// at most once in kLoginPaceMs (each check costs tens of milliseconds and 64 MB on
// purpose). The addresses are kept in a table of fixed size: a new one takes the place
// of the one not heard from the longest. The time is passed in.

constexpr int kLoginAddresses = 256;
constexpr int kLoginAddressSize = 64;
constexpr int kLoginFailuresAllowed = 5;
constexpr Tick kLoginLockMs = 15LL * 60 * 1000;
constexpr Tick kLoginPaceMs = 200;

struct LoginAddress {
  char address[kLoginAddressSize] = "";
  int failures = 0;
  Tick lastFailure = 0;
  Tick lastTry = 0;
};

struct LoginLimit {
  LoginAddress places[kLoginAddresses];
  Tick lastCheck = 0;
  bool checkedOnce = false;
};

// Whether a password from this address may be checked now (it is then counted as
// checked); when not, how long to wait in `waitMs`.
bool MayTryLogin(LoginLimit& limit, const char* address, Tick now, Tick& waitMs);

// The check failed; true when this failure locks the address out (to be said once).
bool NoteLoginFailure(LoginLimit& limit, const char* address, Tick now);

void NoteLoginSuccess(LoginLimit& limit, const char* address);
