// SPDX-License-Identifier: BSD-2-Clause
#include "web/web_sessions.h"

#include <sodium.h>

#include <cstdio>
#include <cstring>

namespace {

bool Expired(const WebSession& session, Tick now) {
  return now - session.lastSeen >= kSessionIdleMs || now - session.openedAt >= kSessionLifeMs;
}

}  // namespace

void RandomKey(char (&text)[kSessionKeyText]) {
  unsigned char bytes[(kSessionKeyText - 1) / 2];
  randombytes_buf(bytes, sizeof bytes);
  sodium_bin2hex(text, sizeof text, bytes, sizeof bytes);
}

bool SameKey(const char* key, const char* given) {
  if (std::strlen(given) != kSessionKeyText - 1) return false;
  return sodium_memcmp(key, given, kSessionKeyText - 1) == 0;
}

WebSession& OpenSession(WebSessions& sessions, const char* user, WebRole role, Tick now) {
  WebSession* place = &sessions.slots[0];
  for (WebSession& session : sessions.slots) {
    if (!session.open || Expired(session, now)) {
      place = &session;
      break;
    }
    if (session.lastSeen < place->lastSeen) place = &session;
  }
  place->open = true;
  RandomKey(place->id);
  RandomKey(place->token);
  std::snprintf(place->user, sizeof place->user, "%s", user);
  place->role = role;
  place->openedAt = now;
  place->lastSeen = now;
  return *place;
}

WebSession* FindSession(WebSessions& sessions, const char* id, Tick now) {
  for (WebSession& session : sessions.slots) {
    if (!session.open || !SameKey(session.id, id)) continue;
    if (Expired(session, now)) {
      CloseSession(session);
      return nullptr;
    }
    session.lastSeen = now;
    return &session;
  }
  return nullptr;
}

void CloseSession(WebSession& session) {
  session = WebSession{};
}

bool TokenMatches(const WebSession& session, const char* token) {
  return session.open && SameKey(session.token, token);
}

bool CookieValue(const char* header, const char* name, char* value, int size) {
  size_t nameLength = std::strlen(name);
  for (const char* at = header; *at != '\0';) {
    while (*at == ' ' || *at == ';') ++at;
    const char* end = std::strchr(at, ';');
    size_t length = end != nullptr ? static_cast<size_t>(end - at) : std::strlen(at);
    if (length > nameLength && std::strncmp(at, name, nameLength) == 0 && at[nameLength] == '=') {
      size_t valueLength = length - nameLength - 1;
      if (valueLength == 0 || valueLength + 1 > static_cast<size_t>(size)) return false;
      std::memcpy(value, at + nameLength + 1, valueLength);
      value[valueLength] = '\0';
      return true;
    }
    at += length;
  }
  return false;
}
