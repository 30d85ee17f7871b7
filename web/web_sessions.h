// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include "base/tick.h"
#include "web/web_users.h"

// Who is logged in to the browser panel. A session is named by a random key the browser
// keeps in a cookie, and carries a second random key, its token, that the page sends
// with everything that changes something (keys): another site can make the browser send
// the cookie, but cannot read the token. A session ends after half an hour without a
// request, and after twelve hours in any case. The time is passed in.

constexpr int kMaxWebSessions = 64;
constexpr int kSessionKeyText = 65;  // 32 random bytes in hex, and the end
constexpr Tick kSessionIdleMs = 30LL * 60 * 1000;
constexpr Tick kSessionLifeMs = 12LL * 60 * 60 * 1000;

struct WebSession {
  bool open = false;
  char id[kSessionKeyText] = "";
  char token[kSessionKeyText] = "";
  char user[kWebUserNameSize] = "";
  WebRole role = WebRole::kView;
  Tick openedAt = 0;
  Tick lastSeen = 0;
};

struct WebSessions {
  WebSession slots[kMaxWebSessions];
};

// A new random key: 32 bytes from the system's random source, in hex.
void RandomKey(char (&text)[kSessionKeyText]);

// Whether `given` is the whole of `key`, compared in constant time.
bool SameKey(const char* key, const char* given);

// A new session for the user; when every place is taken, the one idle longest ends.
WebSession& OpenSession(WebSessions& sessions, const char* user, WebRole role, Tick now);

// The open session with this id, seen now; null when there is none or it has expired.
WebSession* FindSession(WebSessions& sessions, const char* id, Tick now);

void CloseSession(WebSession& session);

// Whether `token` is the session's, compared in constant time.
bool TokenMatches(const WebSession& session, const char* token);

// The value of the cookie `name` in a Cookie header, into `value`; false when it is not
// there or does not fit.
bool CookieValue(const char* header, const char* name, char* value, int size);
