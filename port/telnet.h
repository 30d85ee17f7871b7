// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// Telnet (RFC 854) with the COM-PORT-OPTION of RFC 2217, as a client speaks it to a
// serial-to-network server such as ser2net: the data stream with its 0xFF bytes doubled,
// option negotiation, and the subnegotiations that set the remote port's line, its break
// and its purge. Pure coding, no I/O: the network port feeds it what it receives and
// sends what it gives back.

namespace telnet {
constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                  kSe = 240;
constexpr uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
// COM-PORT-OPTION commands from the client; the server answers each with it + 100.
constexpr uint8_t kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                  kSetControl = 5, kPurgeData = 12;
constexpr uint8_t kServerOffset = 100;
constexpr uint8_t kBreakOn = 5, kBreakOff = 6;  // SET-CONTROL values
constexpr uint8_t kPurgeReceive = 1;            // PURGE-DATA: the server's receive buffer
constexpr uint8_t kComParityNone = 1, kComParityOdd = 2, kComParityEven = 3;
}  // namespace telnet

// A subnegotiation longer than this is dropped whole: a server cannot make us buffer more.
constexpr int kMaxSubnegotiation = 32;
// Negotiation replies one decode call can produce before it stops answering.
constexpr int kMaxReplyBytes = 96;

struct TelnetDecoder {
  int state = 0;  // where in a command the last byte left off
  uint8_t verb = 0;
  uint8_t sub[kMaxSubnegotiation] = {};
  int subLength = 0;
  bool subTooLong = false;
  bool weDo[256] = {};    // options enabled on our side (WILL)
  bool theyDo[256] = {};  // options enabled on the server's side (DO)
  // What the server has said of the remote port.
  int comPortAccepted = 0;  // the server agreed to COM-PORT-OPTION
  uint32_t baudAnswered = 0;
  int replies = 0;  // COM-PORT-OPTION answers received
  int ignored = 0;  // subnegotiations dropped: unknown, cut or too long
};

// What decoding leaves to be sent back: negotiation answers.
struct TelnetReply {
  uint8_t bytes[kMaxReplyBytes] = {};
  int length = 0;
};

// The client's opening: it will speak COM-PORT-OPTION, and binary both ways, without
// go-aheads. Marks those options as asked for in `decoder`. Returns the bytes written
// into `out` (at least 15 bytes).
int TelnetOpening(TelnetDecoder& decoder, uint8_t* out);

// Decodes n received bytes: the data goes to `data` (never more than n bytes), answers
// to the server's negotiation are appended to `reply`. Returns the data bytes written.
// A command or an escape split across calls is carried over in `decoder`.
int TelnetDecode(TelnetDecoder& decoder, const uint8_t* in, int n, uint8_t* data,
                 TelnetReply& reply);

// Data for the wire: each 0xFF doubled. `out` holds 2 * n bytes. Returns its length.
int TelnetEscape(const uint8_t* in, int n, uint8_t* out);

// IAC SB COM-PORT-OPTION command value IAC SE, with the value's 0xFF bytes doubled.
// `out` holds 6 + 2 * n bytes. Returns its length.
int ComPortCommand(uint8_t command, const uint8_t* value, int n, uint8_t* out);

// The line of SetLineSettings as four commands: baud rate, 8 data bits, parity, one stop
// bit. `out` holds 64 bytes. Returns its length.
int ComPortLineSettings(uint32_t baud, int parityCode, uint8_t* out);
