// SPDX-License-Identifier: BSD-2-Clause
#include "port/telnet.h"

#include "port/parity.h"

using namespace telnet;

namespace {

enum DecodeState { kData, kAfterIac, kAfterVerb, kInSub, kInSubAfterIac };

bool WeSupport(uint8_t option) {
  return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

bool TheySupport(uint8_t option) {
  return option == kBinary || option == kSuppressGoAhead;
}

void Answer(TelnetReply& reply, uint8_t verb, uint8_t option) {
  if (reply.length + 3 > kMaxReplyBytes) return;  // a flood of requests is not all answered
  reply.bytes[reply.length++] = kIac;
  reply.bytes[reply.length++] = verb;
  reply.bytes[reply.length++] = option;
}

// Answers as RFC 854 asks, and only on a change of state, so that two ends never echo
// each other's answers for ever.
void Negotiate(TelnetDecoder& decoder, uint8_t verb, uint8_t option, TelnetReply& reply) {
  switch (verb) {
    case kDo:
      if (!WeSupport(option)) {
        Answer(reply, kWont, option);
      } else if (!decoder.weDo[option]) {
        decoder.weDo[option] = true;
        Answer(reply, kWill, option);
      }
      if (option == kComPort && decoder.weDo[option]) decoder.comPortAccepted = 1;
      break;
    case kDont:
      if (decoder.weDo[option]) {
        decoder.weDo[option] = false;
        Answer(reply, kWont, option);
      }
      if (option == kComPort) decoder.comPortAccepted = 0;
      break;
    case kWill:
      if (!TheySupport(option)) {
        Answer(reply, kDont, option);
      } else if (!decoder.theyDo[option]) {
        decoder.theyDo[option] = true;
        Answer(reply, kDo, option);
      }
      break;
    case kWont:
      if (decoder.theyDo[option]) {
        decoder.theyDo[option] = false;
        Answer(reply, kDont, option);
      }
      break;
  }
}

// A whole subnegotiation: what the server says of the remote port.
void TakeSubnegotiation(TelnetDecoder& decoder) {
  if (decoder.subTooLong || decoder.subLength < 2 || decoder.sub[0] != kComPort ||
      decoder.sub[1] < kServerOffset) {
    ++decoder.ignored;
    return;
  }
  ++decoder.replies;
  if (decoder.sub[1] == kServerOffset + kSetBaudRate && decoder.subLength == 6) {
    decoder.baudAnswered = static_cast<uint32_t>(decoder.sub[2]) << 24 |
                           static_cast<uint32_t>(decoder.sub[3]) << 16 |
                           static_cast<uint32_t>(decoder.sub[4]) << 8 | decoder.sub[5];
  }
}

void KeepSubByte(TelnetDecoder& decoder, uint8_t byte) {
  if (decoder.subLength < kMaxSubnegotiation) {
    decoder.sub[decoder.subLength++] = byte;
  } else {
    decoder.subTooLong = true;
  }
}

}  // namespace

int TelnetOpening(TelnetDecoder& decoder, uint8_t* out) {
  const uint8_t opening[] = {kIac, kWill, kComPort,        kIac, kWill, kBinary,
                             kIac, kDo,   kBinary,         kIac, kWill, kSuppressGoAhead,
                             kIac, kDo,   kSuppressGoAhead};
  decoder.weDo[kComPort] = decoder.weDo[kBinary] = decoder.weDo[kSuppressGoAhead] = true;
  decoder.theyDo[kBinary] = decoder.theyDo[kSuppressGoAhead] = true;
  for (uint8_t byte : opening) *out++ = byte;
  return static_cast<int>(sizeof opening);
}

int TelnetDecode(TelnetDecoder& decoder, const uint8_t* in, int n, uint8_t* data,
                 TelnetReply& reply) {
  int length = 0;
  for (int i = 0; i < n; ++i) {
    uint8_t byte = in[i];
    switch (decoder.state) {
      case kData:
        if (byte == kIac) {
          decoder.state = kAfterIac;
        } else {
          data[length++] = byte;
        }
        break;
      case kAfterIac:
        decoder.state = kData;
        if (byte == kIac) {
          data[length++] = kIac;  // a doubled 0xFF is one data byte
        } else if (byte >= kWill && byte <= kDont) {
          decoder.verb = byte;
          decoder.state = kAfterVerb;
        } else if (byte == kSb) {
          decoder.subLength = 0;
          decoder.subTooLong = false;
          decoder.state = kInSub;
        }  // NOP, GA and the other two-byte commands carry nothing for us
        break;
      case kAfterVerb:
        Negotiate(decoder, decoder.verb, byte, reply);
        decoder.state = kData;
        break;
      case kInSub:
        if (byte == kIac) {
          decoder.state = kInSubAfterIac;
        } else {
          KeepSubByte(decoder, byte);
        }
        break;
      case kInSubAfterIac:
        if (byte == kIac) {
          KeepSubByte(decoder, kIac);
          decoder.state = kInSub;
        } else {
          if (byte == kSe)
            TakeSubnegotiation(decoder);
          else
            ++decoder.ignored;  // a subnegotiation cut short by another command
          decoder.state = kData;
        }
        break;
    }
  }
  return length;
}

int TelnetEscape(const uint8_t* in, int n, uint8_t* out) {
  int length = 0;
  for (int i = 0; i < n; ++i) {
    out[length++] = in[i];
    if (in[i] == kIac) out[length++] = kIac;
  }
  return length;
}

int ComPortCommand(uint8_t command, const uint8_t* value, int n, uint8_t* out) {
  int length = 0;
  out[length++] = kIac;
  out[length++] = kSb;
  out[length++] = kComPort;
  out[length++] = command;
  length += TelnetEscape(value, n, out + length);
  out[length++] = kIac;
  out[length++] = kSe;
  return length;
}

int ComPortLineSettings(uint32_t baud, int parityCode, uint8_t* out) {
  const uint8_t rate[4] = {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                           static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)};
  const uint8_t dataBits = 8, stopBits = 1;
  uint8_t parity = parityCode == kParityOdd    ? kComParityOdd
                   : parityCode == kParityEven ? kComParityEven
                                               : kComParityNone;
  int length = ComPortCommand(kSetBaudRate, rate, 4, out);
  length += ComPortCommand(kSetDataSize, &dataBits, 1, out + length);
  length += ComPortCommand(kSetParity, &parity, 1, out + length);
  length += ComPortCommand(kSetStopSize, &stopBits, 1, out + length);
  return length;
}
