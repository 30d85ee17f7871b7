// SPDX-License-Identifier: BSD-2-Clause
// The screen poll and the keys: everything the owner sends while connected.

#include <cstdio>
#include <cstring>

#include "base/local_time.h"
#include "base/status_message.h"
#include "connection/connection.h"
#include "link/packet_type.h"

namespace {

constexpr int kUnansweredPollsForLoss = 3;
// When a key's follow-ups are due, after the key: a receiver that handles a key at once
// shows it to the first, a slower one to the second or third.
constexpr int kKeyFollowUpMs[] = {40, 140, 280};
constexpr int kMaxKeyRequests = sizeof kKeyFollowUpMs / sizeof kKeyFollowUpMs[0];
constexpr int kClockCells = 8;  // "12:34:56": what a screen's clock changes at most
// A request pair (5 + 1 data bytes, framed) and the screen that answers it (161 data
// bytes, framed).
constexpr int kRequestPairBytes = 11 + 7;
constexpr int kScreenBytes = 161 + 6;
constexpr int kBitsPerByte = 10;  // start bit, 8 data bits, stop bit

int WireMs(const Connection& connection, int bytes) {
  uint32_t baud = connection.identity.baud > 0 ? connection.identity.baud : 9600;
  return static_cast<int>((static_cast<uint64_t>(bytes) * kBitsPerByte * 1000 + baud - 1) / baud);
}

Tick Since(Tick now, Tick then) {
  return now - then;
}

bool Send(Connection& connection, uint8_t type, const uint8_t* data, int length) {
  if (SendPacket(*connection.link, type, data, length) != 0) return true;
  connection.writeFailed = true;
  return false;
}

}  // namespace

int PollPeriod(const Connection& connection) {
  return connection.identity.qz77Class ? 400 : 900;
}

int PollReceiver(Connection& connection, Tick now, std::time_t wallNow) {
  if (connection.writeFailed || connection.pollsUnanswered >= kUnansweredPollsForLoss) {
    MarkLost(connection, now, wallNow);
    return 1;
  }
  ++connection.pollsUnanswered;
  connection.lastPollAt = now;
  // A tick at or after the follow-up's time asks for the key's effect as well.
  if (connection.followUpPending && Since(now, connection.followUpAt) >= 0) {
    connection.followUpPending = false;
    connection.keyAnswerAwaited = true;
    ++connection.keyRequests;
  }
  bool sent = Send(connection, TypeByte(PacketType::kScreen), kScreenRequestLong, 5);
  if (sent && !connection.identity.qz77Class) {
    Send(connection, TypeByte(PacketType::kScreen), kScreenRequestShort, 1);
  }
  char clock[64];
  ClockText(wallNow, clock, sizeof clock);
  ShowStatusText(clock, kStatusClock);
  return 0;
}

void SendKey(Connection& connection, int code, Tick now) {
  if (!IsConnected(connection)) return;
  const uint8_t key = static_cast<uint8_t>(code & 0xFF);
  if (!Send(connection, TypeByte(PacketType::kKey), &key, 1)) return;
  CopySharedScreen(connection.capture->screen, connection.keyScreen);
  connection.keySentAt = now;
  connection.keyRequests = 0;
  connection.keyAnswerAwaited = false;
  connection.followUpPending = true;
  connection.followUpAt = now + kKeyFollowUpMs[0];
}

int PollGapMs(const Connection& connection) {
  return 2 * WireMs(connection, kRequestPairBytes + kScreenBytes);
}

int AnswerDueMs(const Connection& connection) {
  return 3 * WireMs(connection, kRequestPairBytes + kScreenBytes) + 100;
}

int MsUntilFollowUp(const Connection& connection, Tick now) {
  if (!connection.followUpPending || !IsConnected(connection)) return -1;
  Tick wait = Since(connection.followUpAt, now);
  int gap = connection.pollsUnanswered > 0 ? AnswerDueMs(connection) : PollGapMs(connection);
  Tick lineFree = Since(connection.lastPollAt + gap, now);
  if (lineFree > wait) wait = lineFree;
  return wait > 0 ? static_cast<int>(wait) : 0;
}

// Whether a screen shows a key's effect: the cursor has moved, or more has changed than a
// receiver's own clock changes in a second (a few digits).
bool KeyShown(const ScreenImage& before, const ScreenImage& now) {
  if (before.bytes[kScreenCells] != now.bytes[kScreenCells]) return true;
  int changed = 0;
  for (int i = 0; i < kScreenCells; ++i) changed += before.bytes[i] != now.bytes[i];
  return changed > kClockCells;
}

// A follow-up's answer that still shows the screen from before the key (a receiver that
// took longer) asks once more, at the next follow-up's time.
void NoteScreen(Connection& connection, unsigned attempt) {
  if (attempt != connection.attempt.number) return;
  connection.pollsUnanswered = 0;
  if (!connection.keyAnswerAwaited) return;
  connection.keyAnswerAwaited = false;
  ScreenImage shown;
  CopySharedScreen(connection.capture->screen, shown);
  bool unchanged = !KeyShown(connection.keyScreen, shown);
  if (unchanged && connection.keyRequests < kMaxKeyRequests) {
    connection.followUpPending = true;
    connection.followUpAt = connection.keySentAt + kKeyFollowUpMs[connection.keyRequests];
  }
}

void ClockText(std::time_t when, char* out, int size) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local = {};
  if (!LocalTime(when, local) || local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 ||
      local.tm_mon > 11) {
    std::snprintf(out, static_cast<size_t>(size), "time unknown\n");
    return;
  }
  // The layout of ctime: "Mon Dec  7 10:08:33 2026\n".
  std::snprintf(out, static_cast<size_t>(size), "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n",
                kDays[local.tm_wday], kMonths[local.tm_mon], local.tm_mday, local.tm_hour,
                local.tm_min, local.tm_sec, 1900 + local.tm_year);
}
