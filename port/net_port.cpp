// SPDX-License-Identifier: BSD-2-Clause
#include "port/net_port.h"

#include <cstdio>
#include <cstring>

#include "port/device_port.h"
#include "port/socket_port.h"
#include "base/status_message.h"
#include "base/tick.h"
#include "base/trace.h"

namespace {

constexpr int kConnectLimitMs = 5000;
constexpr int kSendStallMs = 1000;  // as a serial line that takes no byte for a second

// Sends bytes that are already coded for the wire; the lock keeps a negotiation answer
// from the reading thread out of the middle of a write.
int SendCoded(SerialPort& port, const uint8_t* bytes, int n) {
  std::lock_guard<std::mutex> hold(port.net.sendLock);
  return SendSocket(port, bytes, n, kSendStallMs);
}

bool SendComPortCommand(SerialPort& port, uint8_t command, uint8_t value) {
  uint8_t out[8];
  int n = ComPortCommand(command, &value, 1, out);
  return SendCoded(port, out, n) == n;
}

// Decodes what one receive brought; the data lands in `data`. Returns the data bytes, or
// -1 when the connection has ended.
int ReceiveAndDecode(SerialPort& port, uint8_t* data, int n) {
  uint8_t raw[kNetChunk];
  int got = ReceiveSocket(port, raw, n < kNetChunk ? n : kNetChunk);
  if (got < 0) {
    port.net.closed = true;
    return -1;
  }
  if (got == 0) return 0;
  if (port.net.kind == kRawTcp) {
    std::memcpy(data, raw, static_cast<size_t>(got));
    return got;
  }
  TelnetReply reply;
  int length = TelnetDecode(port.net.decoder, raw, got, data, reply);
  if (reply.length > 0) SendCoded(port, reply.bytes, reply.length);
  return length;
}

int TakeDecoded(NetLink& net, uint8_t* buffer, int n) {
  int available = net.decodedEnd - net.decodedStart;
  int count = available < n ? available : n;
  std::memcpy(buffer, net.decoded + net.decodedStart, static_cast<size_t>(count));
  net.decodedStart += count;
  if (net.decodedStart == net.decodedEnd) net.decodedStart = net.decodedEnd = 0;
  return count;
}

void ShowNetFailure(const char* reason, const char* name) {
  char text[kNetNameSize + 128];
  std::snprintf(text, sizeof text, "%s: %s", reason, name);
  ShowStatusFailure(text);
}

}  // namespace

bool ParseNetName(const char* name, int& kind, char* host, int hostSize, char* service,
                  int serviceSize) {
  const char* rest;
  if (std::strncmp(name, "rfc2217://", 10) == 0) {
    kind = kRfc2217;
    rest = name + 10;
  } else if (std::strncmp(name, "tcp://", 6) == 0) {
    kind = kRawTcp;
    rest = name + 6;
  } else {
    return false;
  }
  const char* hostEnd;
  const char* colon;
  if (*rest == '[') {  // [IPv6 address]:port
    ++rest;
    hostEnd = std::strchr(rest, ']');
    if (hostEnd == nullptr || hostEnd[1] != ':') return false;
    colon = hostEnd + 1;
  } else {
    colon = std::strrchr(rest, ':');
    hostEnd = colon;
  }
  if (colon == nullptr || hostEnd == rest || colon[1] == '\0') return false;
  int hostLength = static_cast<int>(hostEnd - rest);
  const char* port = colon + 1;
  for (const char* c = port; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9' || c - port >= 5) return false;
  }
  if (hostLength >= hostSize || static_cast<int>(std::strlen(port)) >= serviceSize) return false;
  std::snprintf(host, static_cast<size_t>(hostSize), "%.*s", hostLength, rest);
  std::snprintf(service, static_cast<size_t>(serviceSize), "%s", port);
  return true;
}

int OpenNetPort(SerialPort& port, const char* name) {
  port.readFailing = false;
  int kind = kNotNetwork;
  char host[kNetNameSize];
  char service[8];
  if (!ParseNetName(name, kind, host, sizeof host, service, sizeof service)) {
    ShowNetFailure("Not a network device name (rfc2217://HOST:PORT or tcp://HOST:PORT)", name);
    return -1;
  }
  char reason[160];
  if (ConnectSocket(port, host, service, kConnectLimitMs, reason, sizeof reason) != 0) {
    ShowNetFailure(reason, name);
    return -1;
  }
  port.net.kind = kind;
  std::snprintf(port.net.name, sizeof port.net.name, "%s", name);
  Trace("connected to %s", name);
  if (kind == kRfc2217) {
    uint8_t opening[32];
    int n = TelnetOpening(port.net.decoder, opening);
    if (SendCoded(port, opening, n) != n) {
      ShowNetFailure("Could not talk to the server", name);
      return -1;
    }
  }
  ShowStatusMessage("Communications opened.");
  return SetNetLine(port, 9600, kParityNone);
}

// Over rfc2217:// the remote port takes the settings; over tcp:// it cannot, which is
// said once, when identification first asks for other settings than it has.
int SetNetLine(SerialPort& port, uint32_t baud, int parity) {
  if (baud == 0 || (parity != kParityNone && parity != kParityOdd && parity != kParityEven)) {
    ShowStatusFailure("Could not set comm settings.");
    return -1;
  }
  if (port.net.kind == kRfc2217) {
    uint8_t out[64];
    int n = ComPortLineSettings(baud, parity, out);
    if (SendCoded(port, out, n) != n) {
      ShowStatusFailure("Could not set comm settings.");
      return -1;
    }
  } else if (port.lineBaud != 0 && (baud != port.lineBaud || parity != port.lineParity) &&
             !port.net.switchRefused) {
    port.net.switchRefused = true;
    char text[kNetNameSize + 200];
    std::snprintf(text, sizeof text,
                  "The line cannot be switched over %s: the remote port must be at %u baud, "
                  "parity %s already",
                  port.net.name, baud,
                  parity == kParityNone  ? "none"
                  : parity == kParityOdd ? "odd"
                                         : "even");
    ShowStatusFailure(text);
  }
  port.lineBaud = baud;
  port.lineParity = parity;
  Trace("line set to %u baud, parity %d", baud, parity);
  return 0;
}

int SendNetBreak(SerialPort& port) {
  if (port.net.kind != kRfc2217) return 0;  // a byte stream has no break to give
  SendComPortCommand(port, telnet::kSetControl, telnet::kBreakOn);
  PauseUnlessStopped(port, kBreakMs);
  return SendComPortCommand(port, telnet::kSetControl, telnet::kBreakOff) ? 0 : -1;
}

void FlushNetPort(SerialPort& port) {
  if (port.net.kind == kRfc2217) {
    SendComPortCommand(port, telnet::kPurgeData, telnet::kPurgeReceive);
  }
  DrainInput(port);
}

int ReadNetPort(SerialPort& port, uint8_t* buffer, int n) {
  if (n <= 0) return 0;
  if (port.net.decodedEnd > port.net.decodedStart) return TakeDecoded(port.net, buffer, n);
  if (port.net.closed) return 0;
  int count = ReceiveAndDecode(port, buffer, n);
  if (count < 0) {
    Trace("read failed: %s closed the connection", port.net.name);
    NoteReadFailure(port);
    return 0;
  }
  if (count > 0) {
    port.readFailing = false;
    TraceBytes("read", buffer, count);
  }
  return count;
}

int WriteNetPort(SerialPort& port, const uint8_t* buffer, int n) {
  int written = 0;
  if (port.net.kind == kRawTcp) {
    written = SendCoded(port, buffer, n);
  } else {
    uint8_t coded[2 * kNetChunk];
    while (written < n && !port.net.closed) {
      int part = n - written < kNetChunk ? n - written : kNetChunk;
      int length = TelnetEscape(buffer + written, part, coded);
      if (SendCoded(port, coded, length) != length) break;
      written += part;
    }
  }
  return FinishWrite(port, buffer, n, written);
}

// Waits for data: what the server says of the connection alone (negotiation) wakes the
// wait but is no input. The end of the connection is a hang-up.
int WaitForNetInput(SerialPort& port, int timeoutMs, int hangUpPauseMs) {
  if (PortStopped(port)) return -2;
  NetLink& net = port.net;
  Deadline deadline;
  SetDeadline(deadline, timeoutMs < 0 ? 0 : timeoutMs / 1000.0);
  while (net.decodedEnd == net.decodedStart && !net.closed) {
    int left = timeoutMs < 0 ? -1 : DeadlineRemainingMs(deadline);
    if (timeoutMs >= 0 && left <= 0) return 0;
    int ready = WaitForSocket(port, left);
    if (ready != 1) {
      int pause = hangUpPauseMs < left || left < 0 ? hangUpPauseMs : left;
      return ready == -1 ? (PauseUnlessStopped(port, pause) ? -1 : -2) : ready;
    }
    int count = ReceiveAndDecode(port, net.decoded, kNetChunk);
    if (count > 0) {
      net.decodedStart = 0;
      net.decodedEnd = count;
    }
  }
  if (net.decodedEnd > net.decodedStart) return 1;
  Trace("%s closed the connection", net.name);
  int left = timeoutMs < 0 ? 0 : DeadlineRemainingMs(deadline);
  return PauseUnlessStopped(port, hangUpPauseMs < left ? hangUpPauseMs : left) ? -1 : -2;
}

void CloseNetPort(SerialPort& port) {
  CloseSocket(port);
  NetLink& net = port.net;
  net.kind = kNotNetwork;
  net.decoder = TelnetDecoder();
  net.decodedStart = net.decodedEnd = 0;
  net.closed = false;
  net.switchRefused = false;
  net.name[0] = '\0';
  port.lineBaud = 0;
  port.lineParity = -1;
}
