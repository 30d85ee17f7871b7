// SPDX-License-Identifier: BSD-2-Clause
// A receiver behind a serial-to-network server: "rfc2217://HOST:PORT" speaks Telnet with
// the COM-PORT-OPTION, so that the line settings, the break and the purge of the input
// reach the remote port; "tcp://HOST:PORT" is a plain byte stream. Two back ends that
// share the connection and differ in the coding and in what can be set remotely.

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "base/status_message.h"
#include "base/tick.h"
#include "base/trace.h"
#include "port/port.h"
#include "port/port_backend.h"
#include "port/port_name.h"
#include "port/socket.h"
#include "port/telnet.h"

namespace {

constexpr int kConnectLimitMs = 5000;
constexpr int kSendStallMs = 1000;  // as a serial line that takes no byte for a second
constexpr int kNetChunk = 512;
constexpr int kNetNameSize = 256;

// The connection, its coding, and what has been received and decoded but not yet read.
struct NetState {
  int kind = kNotNetwork;
  TcpSocket socket;
  TelnetDecoder decoder;
  std::mutex sendLock;  // the reader answers negotiation while another thread writes
  uint8_t decoded[kNetChunk] = {};
  int decodedStart = 0;
  int decodedEnd = 0;
  std::atomic<bool> closed{false};  // the server has ended the connection
  bool switchRefused = false;       // tcp:// has said once that it cannot switch the line
  char name[kNetNameSize] = {};     // as the user gave it, for messages
};

NetState& State(Port& port) {
  return *static_cast<NetState*>(port.state);
}

// Sends bytes that are already coded for the wire; the lock keeps a negotiation answer
// from the reading thread out of the middle of a write.
int SendCoded(Port& port, const uint8_t* bytes, int n) {
  NetState& net = State(port);
  std::lock_guard<std::mutex> hold(net.sendLock);
  return SendSocket(net.socket, port.stop, bytes, n, kSendStallMs);
}

bool SendComPortCommand(Port& port, uint8_t command, uint8_t value) {
  uint8_t out[8];
  int n = ComPortCommand(command, &value, 1, out);
  return SendCoded(port, out, n) == n;
}

// Decodes what one receive brought; the data lands in `data`. Returns the data bytes, or
// -1 when the connection has ended.
int ReceiveAndDecode(Port& port, uint8_t* data, int n) {
  NetState& net = State(port);
  uint8_t raw[kNetChunk];
  int got = ReceiveSocket(net.socket, raw, n < kNetChunk ? n : kNetChunk);
  if (got < 0) {
    net.closed = true;
    return -1;
  }
  if (got == 0) return 0;
  if (net.kind == kRawTcp) {
    std::memcpy(data, raw, static_cast<size_t>(got));
    return got;
  }
  TelnetReply reply;
  int length = TelnetDecode(net.decoder, raw, got, data, reply);
  if (reply.length > 0) SendCoded(port, reply.bytes, reply.length);
  return length;
}

int TakeDecoded(NetState& net, uint8_t* buffer, int n) {
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

void CloseNetPort(Port& port) {
  NetState* net = static_cast<NetState*>(port.state);
  if (net == nullptr) return;
  CloseSocket(net->socket);
  delete net;
  port.state = nullptr;
}

int OpenNetPort(Port& port, const char* name) {
  int kind = kNotNetwork;
  char host[kNetNameSize];
  char service[8];
  if (!ParseNetName(name, kind, host, sizeof host, service, sizeof service)) {
    ShowNetFailure("Not a network device name (rfc2217://HOST:PORT or tcp://HOST:PORT)", name);
    return -1;
  }
  NetState* net = new (std::nothrow) NetState;
  if (net == nullptr) {
    ShowNetFailure("Out of memory", name);
    return -1;
  }
  net->kind = kind;
  std::snprintf(net->name, sizeof net->name, "%s", name);
  port.state = net;
  char reason[160];
  if (ConnectSocket(net->socket, port.stop, host, service, kConnectLimitMs, reason,
                    sizeof reason) != 0) {
    ShowNetFailure(reason, name);
    CloseNetPort(port);
    return -1;
  }
  if (kind == kRfc2217) {
    uint8_t opening[32];
    int n = TelnetOpening(net->decoder, opening);
    if (SendCoded(port, opening, n) != n) {
      ShowNetFailure("Could not talk to the server", name);
      CloseNetPort(port);
      return -1;
    }
  }
  return 0;
}

// The remote port takes the settings.
int SetRfc2217Line(Port& port, uint32_t baud, int parity) {
  uint8_t out[64];
  int n = ComPortLineSettings(baud, parity, out);
  if (SendCoded(port, out, n) == n) return 0;
  ShowStatusFailure("Could not set comm settings.");
  return -1;
}

// A byte stream cannot switch the remote port, which is said once, when identification
// first asks for other settings than it has.
int SetRawTcpLine(Port& port, uint32_t baud, int parity) {
  NetState& net = State(port);
  bool switching = port.lineBaud != 0 && (baud != port.lineBaud || parity != port.lineParity);
  if (switching && !net.switchRefused) {
    net.switchRefused = true;
    char text[kNetNameSize + 200];
    std::snprintf(text, sizeof text,
                  "The line cannot be switched over %s: the remote port must be at %u baud, "
                  "parity %s already",
                  net.name, baud,
                  parity == kParityNone  ? "none"
                  : parity == kParityOdd ? "odd"
                                         : "even");
    ShowStatusFailure(text);
  }
  return 0;
}

int SendRfc2217Break(Port& port) {
  SendComPortCommand(port, telnet::kSetControl, telnet::kBreakOn);
  PauseUnlessStopped(port.stop, kBreakMs);
  return SendComPortCommand(port, telnet::kSetControl, telnet::kBreakOff) ? 0 : -1;
}

int SendNoBreak(Port&) {
  return 0;  // a byte stream has no break to give
}

void PurgeRemoteInput(Port& port) {
  SendComPortCommand(port, telnet::kPurgeData, telnet::kPurgeReceive);
}

int ReadNetPort(Port& port, uint8_t* buffer, int n) {
  NetState& net = State(port);
  if (net.decodedEnd > net.decodedStart) return TakeDecoded(net, buffer, n);
  if (net.closed) return 0;
  int count = ReceiveAndDecode(port, buffer, n);
  if (count < 0) Trace("read failed: %s closed the connection", net.name);
  return count;
}

int WriteRawTcp(Port& port, const uint8_t* buffer, int n) {
  return SendCoded(port, buffer, n);
}

int WriteRfc2217(Port& port, const uint8_t* buffer, int n) {
  NetState& net = State(port);
  uint8_t coded[2 * kNetChunk];
  int written = 0;
  while (written < n && !net.closed) {
    int part = n - written < kNetChunk ? n - written : kNetChunk;
    int length = TelnetEscape(buffer + written, part, coded);
    if (SendCoded(port, coded, length) != length) break;
    written += part;
  }
  return written;
}

// Waits for data: what the server says of the connection alone (negotiation) wakes the
// wait but is no input. The end of the connection is a hang-up.
int WaitForNetInput(Port& port, int timeoutMs, int hangUpPauseMs) {
  NetState& net = State(port);
  Deadline deadline;
  SetDeadline(deadline, timeoutMs < 0 ? 0 : timeoutMs / 1000.0);
  while (net.decodedEnd == net.decodedStart && !net.closed) {
    int left = timeoutMs < 0 ? -1 : DeadlineRemainingMs(deadline);
    if (timeoutMs >= 0 && left <= 0) return 0;
    int ready = WaitForSocket(net.socket, port.stop, left);
    if (ready != 1) {
      int pause = hangUpPauseMs < left || left < 0 ? hangUpPauseMs : left;
      return ready == -1 ? (PauseUnlessStopped(port.stop, pause) ? -1 : -2) : ready;
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
  return PauseUnlessStopped(port.stop, hangUpPauseMs < left ? hangUpPauseMs : left) ? -1 : -2;
}

}  // namespace

const PortBackend kRawTcpBackend = {
    "tcp",       OpenNetPort, SetRawTcpLine,   SendNoBreak,  nullptr,
    ReadNetPort, WriteRawTcp, WaitForNetInput, CloseNetPort,
};

const PortBackend kRfc2217Backend = {
    "rfc2217",   OpenNetPort,  SetRfc2217Line,  SendRfc2217Break, PurgeRemoteInput,
    ReadNetPort, WriteRfc2217, WaitForNetInput, CloseNetPort,
};
