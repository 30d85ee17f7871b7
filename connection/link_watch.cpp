// SPDX-License-Identifier: BSD-2-Clause
// A lost receiver: noticing it, telling the user, and the schedule of reconnects.

#include <cstdio>

#include "base/local_time.h"
#include "connection/connection.h"

void MarkLost(Connection& connection, Tick now, std::time_t wallNow) {
  StopReceiveWorker(connection.worker);
  ClosePort(connection.link->port);  // a USB adapter can only come back once it is let go
  connection.attempt.underWay = false;
  if (connection.state != LinkState::kLost) connection.lostAt = wallNow;
  connection.state = LinkState::kLost;
  connection.failedReconnects = 0;
  connection.lastCause[0] = '\0';
  ScheduleReconnect(connection, now);
}

bool LineSilent(Tick lastByteAt, Tick connectedAt, Tick now, Tick limitMs) {
  return lastByteAt >= connectedAt && now - lastByteAt >= limitMs;
}

bool ReconnectDue(const Connection& connection) {
  return SeeksDevice(connection) && connection.settings.autoReconnect &&
         !connection.attempt.underWay;
}

void ScheduleReconnect(Connection& connection, Tick now) {
  connection.reconnectAt = now + ReconnectDelayMs(connection.failedReconnects);
}

int NoteLineDown(Connection& connection, unsigned attempt, Tick now, std::time_t wallNow) {
  if (attempt != connection.attempt.number || !IsConnected(connection)) return 0;
  MarkLost(connection, now, wallNow);
  return 1;
}

int ReconnectDelayMs(int failedAttempts) {
  static const int kDelays[] = {1000, 2000, 5000, 10000};
  constexpr int kLast = sizeof kDelays / sizeof kDelays[0] - 1;
  return kDelays[failedAttempts < 0 ? 0 : failedAttempts > kLast ? kLast : failedAttempts];
}

int MsUntilReconnect(const Connection& connection, Tick now) {
  if (!ReconnectDue(connection)) return -1;
  return MsUntil(connection.reconnectAt, now);
}

void SetAutoReconnect(Connection& connection, int on, Tick now) {
  connection.settings.autoReconnect = on;
  if (ReconnectDue(connection)) connection.reconnectAt = now + ReconnectDelayMs(0);
}

void LossText(const Connection& connection, char* out, int size) {
  char at[16];
  TimeOfDayText(connection.lostAt, at, sizeof at);
  const char* device = connection.establishedStable[0] != '\0' ? connection.establishedStable
                                                               : connection.establishedPath;
  int used;
  if (connection.settings.autoReconnect) {
    used = std::snprintf(out, static_cast<size_t>(size),
                         "Receiver lost at %s; reconnecting to %s...", at, device);
  } else {
    used = std::snprintf(out, static_cast<size_t>(size),
                         "Receiver lost at %s; use Connect to reconnect to %s.", at, device);
  }
  if (connection.lastCause[0] != '\0' && used > 0 && used < size) {
    std::snprintf(out + used, static_cast<size_t>(size - used), " Last try: %s",
                  connection.lastCause);
  }
}

void WaitingText(const Connection& connection, Tick now, char* out, int size) {
  int used;
  int left = MsUntilReconnect(connection, now);
  if (Connecting(connection)) {
    used = std::snprintf(out, static_cast<size_t>(size),
                         "Waiting for the receiver on %s (trying now).", connection.waitingPath);
  } else if (left >= 0) {
    used = std::snprintf(out, static_cast<size_t>(size),
                         "Waiting for the receiver on %s (next try in %d s).",
                         connection.waitingPath, (left + 999) / 1000);
  } else {
    used = std::snprintf(out, static_cast<size_t>(size),
                         "No receiver on %s; use Connect to try again.", connection.waitingPath);
  }
  if (connection.lastCause[0] != '\0' && used > 0 && used < size) {
    std::snprintf(out + used, static_cast<size_t>(size - used), " Last try: %s",
                  connection.lastCause);
  }
}
