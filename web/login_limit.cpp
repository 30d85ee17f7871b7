// SPDX-License-Identifier: BSD-2-Clause
#include "web/login_limit.h"

#include <cstdio>
#include <cstring>

namespace {

LoginAddress* Find(LoginLimit& limit, const char* address) {
  for (LoginAddress& place : limit.places) {
    if (place.address[0] != '\0' && std::strcmp(place.address, address) == 0) return &place;
  }
  return nullptr;
}

LoginAddress& FindOrTake(LoginLimit& limit, const char* address) {
  if (LoginAddress* known = Find(limit, address)) return *known;
  LoginAddress* oldest = &limit.places[0];
  for (LoginAddress& place : limit.places) {
    if (place.address[0] == '\0') {
      oldest = &place;
      break;
    }
    if (place.lastTry < oldest->lastTry) oldest = &place;
  }
  *oldest = LoginAddress{};
  std::snprintf(oldest->address, sizeof oldest->address, "%s", address);
  return *oldest;
}

// Failures older than the lock are forgotten.
void Forget(LoginAddress& place, Tick now) {
  if (place.failures > 0 && now - place.lastFailure >= kLoginLockMs) place.failures = 0;
}

}  // namespace

bool MayTryLogin(LoginLimit& limit, const char* address, Tick now, Tick& waitMs) {
  waitMs = 0;
  if (LoginAddress* place = Find(limit, address)) {
    Forget(*place, now);
    if (place->failures >= kLoginFailuresAllowed) {
      waitMs = place->lastFailure + kLoginLockMs - now;
      return false;
    }
  }
  if (limit.checkedOnce && now - limit.lastCheck < kLoginPaceMs) {
    waitMs = limit.lastCheck + kLoginPaceMs - now;
    return false;
  }
  limit.checkedOnce = true;
  limit.lastCheck = now;
  FindOrTake(limit, address).lastTry = now;
  return true;
}

bool NoteLoginFailure(LoginLimit& limit, const char* address, Tick now) {
  LoginAddress& place = FindOrTake(limit, address);
  Forget(place, now);
  ++place.failures;
  place.lastFailure = now;
  place.lastTry = now;
  return place.failures == kLoginFailuresAllowed;
}

void NoteLoginSuccess(LoginLimit& limit, const char* address) {
  if (LoginAddress* place = Find(limit, address)) place->failures = 0;
}
