// The screen poll and the keys: everything the owner sends while connected.

#include <cstdio>

#include "connection/connection.h"
#include "link/local_time.h"
#include "link/status_message.h"

namespace {

constexpr uint8_t kKeyPacket = 0x81;
constexpr uint8_t kScreenRequest = 0x82;
const uint8_t kScreenRequestLong[5] = {0x00, 0x00, 0x78, 0x30, 0x38};
const uint8_t kScreenRequestShort[1] = {0x01};
constexpr int kUnansweredPollsForLoss = 3;

bool Send(Connection& connection, uint8_t type, const uint8_t* data, int length) {
  if (SendPacket(*connection.link, type, data, length) != 0) return true;
  connection.writeFailed = 1;
  return false;
}

}  // namespace

int PollPeriod(const Connection& connection) {
  return connection.identity.qz77Class ? 400 : 900;
}

int PollReceiver(Connection& connection, uint32_t now, std::time_t wallNow) {
  if (connection.writeFailed || connection.pollsUnanswered >= kUnansweredPollsForLoss) {
    MarkLost(connection, now, wallNow);
    return 1;
  }
  ++connection.pollsUnanswered;
  bool sent = Send(connection, kScreenRequest, kScreenRequestLong, 5);
  if (sent && !connection.identity.qz77Class) {
    Send(connection, kScreenRequest, kScreenRequestShort, 1);
  }
  char clock[64];
  ClockText(wallNow, clock, sizeof clock);
  ShowStatusText(clock, kStatusClock);
  return 0;
}

void SendKey(Connection& connection, int code) {
  if (!connection.connected) return;
  const uint8_t key = static_cast<uint8_t>(code & 0xFF);
  Send(connection, kKeyPacket, &key, 1);
}

void NoteScreen(Connection& connection, unsigned attempt) {
  if (attempt == connection.attempt.number) connection.pollsUnanswered = 0;
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
