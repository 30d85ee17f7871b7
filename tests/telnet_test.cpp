// SPDX-License-Identifier: BSD-2-Clause
#include "port/telnet.h"

#include <gtest/gtest.h>

#include <vector>

#include "port/port.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace telnet;

struct Decoded {
  Bytes data;
  Bytes reply;
};

// Feeds the pieces one decode call each, as reads would deliver them.
Decoded Decode(TelnetDecoder& decoder, const std::vector<Bytes>& pieces) {
  Decoded out;
  for (const Bytes& piece : pieces) {
    uint8_t data[256];
    TelnetReply reply;
    int n = TelnetDecode(decoder, piece.data(), static_cast<int>(piece.size()), data, reply);
    out.data.insert(out.data.end(), data, data + n);
    out.reply.insert(out.reply.end(), reply.bytes, reply.bytes + reply.length);
  }
  return out;
}

TelnetDecoder Opened() {
  TelnetDecoder decoder;
  uint8_t opening[32];
  TelnetOpening(decoder, opening);
  return decoder;
}

// The data stream: doubled 0xFF bytes are one data byte wherever the reads split them,
// and commands inside the stream take nothing from it.
TEST(Telnet, DataWithEscapesSplitAcrossReads) {
  const struct {
    std::vector<Bytes> pieces;
    Bytes data;
  } cases[] = {
      {{{0x02, kIac, kIac, 0x03}}, {0x02, kIac, 0x03}},
      {{{0x02, kIac}, {kIac, 0x03}}, {0x02, kIac, 0x03}},
      {{{kIac}, {kIac}, {kIac}, {kIac}}, {kIac, kIac}},
      {{{0x01, kIac, 241 /* NOP */, 0x02}}, {0x01, 0x02}},
      {{{0x01, kIac}, {kSb, kComPort, 106, 0x00, kIac}, {kSe, 0x02}}, {0x01, 0x02}},
  };
  for (const auto& c : cases) {
    TelnetDecoder decoder = Opened();
    EXPECT_EQ(Decode(decoder, c.pieces).data, c.data);
  }
}

// Negotiation as RFC 854 asks: what we asked for is taken without an answer, what we do
// not speak is refused, and a change of state is answered once.
TEST(Telnet, NegotiationAnswersOnlyChanges) {
  const uint8_t kEcho = 1, kTerminalType = 24;
  const struct {
    Bytes in;
    Bytes reply;
  } cases[] = {
      {{kIac, kDo, kComPort}, {}},
      {{kIac, kWill, kBinary}, {}},
      {{kIac, kDo, kTerminalType}, {kIac, kWont, kTerminalType}},
      {{kIac, kWill, kEcho}, {kIac, kDont, kEcho}},
      {{kIac, kWont, kBinary}, {kIac, kDont, kBinary}},
      {{kIac, kWont, kBinary}, {}},
      {{kIac, kDont, kSuppressGoAhead}, {kIac, kWont, kSuppressGoAhead}},
      {{kIac, kDo, kSuppressGoAhead}, {kIac, kWill, kSuppressGoAhead}},
  };
  TelnetDecoder decoder = Opened();
  for (const auto& c : cases) EXPECT_EQ(Decode(decoder, {c.in}).reply, c.reply);
  EXPECT_EQ(decoder.comPortAccepted, 1);

  TelnetDecoder flooded = Opened();
  Bytes flood;
  for (int i = 0; i < 200; ++i) flood.insert(flood.end(), {kIac, kDo, kTerminalType});
  EXPECT_LE(Decode(flooded, {flood}).reply.size(), static_cast<size_t>(kMaxReplyBytes));
}

// The server's answers to COM-PORT-OPTION commands, escapes inside them included, fed a
// byte at a time; one too long to keep is dropped whole and the data behind it is intact.
TEST(Telnet, SubnegotiationsAreBoundedAndSplitSafe) {
  TelnetDecoder decoder = Opened();
  Bytes answer = {kIac, kSb, kComPort, 101, 0x00, 0x00, kIac, kIac, kIac, kIac, kIac, kSe, 0x42};
  std::vector<Bytes> oneByOne;
  for (uint8_t byte : answer) oneByOne.push_back({byte});
  EXPECT_EQ(Decode(decoder, oneByOne).data, Bytes{0x42});
  EXPECT_EQ(decoder.baudAnswered, 0xFFFFu);
  EXPECT_EQ(decoder.replies, 1);

  Bytes tooLong = {kIac, kSb, kComPort, 106};
  tooLong.insert(tooLong.end(), 5000, 0x33);
  tooLong.insert(tooLong.end(), {kIac, kSe, 0x07});
  EXPECT_EQ(Decode(decoder, {tooLong}).data, Bytes{0x07});
  EXPECT_EQ(decoder.replies, 1);
  EXPECT_EQ(decoder.ignored, 1);
}

TEST(Telnet, CommandsForTheRemotePort) {
  uint8_t out[64];
  int n = ComPortLineSettings(38400, kParityEven, out);
  EXPECT_EQ(Bytes(out, out + n),
            (Bytes{kIac, kSb, kComPort, 1, 0x00, 0x00, 0x96, 0x00, kIac, kSe,  //
                   kIac, kSb, kComPort, 2, 8,    kIac, kSe,                    //
                   kIac, kSb, kComPort, 3, 3,    kIac, kSe,                    //
                   kIac, kSb, kComPort, 4, 1,    kIac, kSe}));
  n = ComPortLineSettings(0x00FF00FF, kParityNone, out);
  EXPECT_EQ(Bytes(out + 4, out + 10), (Bytes{0x00, kIac, kIac, 0x00, kIac, kIac}));
  const uint8_t frame[] = {0x02, 0xFF, 0x81, 0xFF};
  n = TelnetEscape(frame, 4, out);
  EXPECT_EQ(Bytes(out, out + n), (Bytes{0x02, kIac, kIac, 0x81, kIac, kIac}));
}

}  // namespace
