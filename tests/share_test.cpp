// SPDX-License-Identifier: BSD-2-Clause
// Sharing the receiver: who may attach, and what the hub does with what clients and the
// receiver send, with the time passed in.

#include <gtest/gtest.h>

#include <memory>

#include "link/packet_type.h"
#include "share/address_range.h"
#include "share/share_hub.h"
#include "tests/test_bytes.h"

namespace {

TEST(ShareAddresses, ListsMatchTheirAddressesOnly) {
  struct Case {
    const char* list;
    const char* address;
    bool in;
  } cases[] = {
      {"192.168.1.0/24", "192.168.1.200", true},
      {"192.168.1.0/24", "192.168.2.1", false},
      {"10.0.0.0/8", "::ffff:10.1.2.3", true},  // as a dual-stack socket reports it
      {"::1", "::1", true},
      {"::1", "127.0.0.1", false},
      {"127.0.0.0/8,::1", "127.8.9.1", true},
      {"fe80::/10", "fe80::1:2", true},
      {"fe80::/10", "fec0::1", false},
      {"2001:db8::/32", "2001:db8:0:1::5", true},
      {"10.1.1.1", "10.1.1.2", false},
      {"172.16.0.0/12", "172.31.255.255", true},
      {"172.16.0.0/12", "172.32.0.0", false},
      {"0.0.0.0/0,::/0", "8.8.8.8", true},
  };
  for (const Case& c : cases) {
    AddressRanges ranges;
    char error[100];
    NetAddress address;
    ASSERT_TRUE(ParseAddressRanges(c.list, ranges, error, sizeof error)) << c.list << ": " << error;
    ASSERT_TRUE(ParseNetAddress(c.address, address)) << c.address;
    EXPECT_EQ(InRanges(ranges, address), c.in) << c.address << " in " << c.list;
  }
}

TEST(ShareAddresses, WhatIsNoAddressIsRefusedAndNamed) {
  for (const char* list : {"300.1.1.1", "1.2.3", "1.2.3.4/33", "::1::2", "", "10.0.0.0/8,", "g::1",
                           "1:2:3:4:5:6:7:8:9", "1.2.3.4/", "::1/129", "localhost"}) {
    AddressRanges ranges;
    char error[100] = "";
    EXPECT_FALSE(ParseAddressRanges(list, ranges, error, sizeof error)) << list;
    EXPECT_NE(std::string(error).find("is not an address"), std::string::npos) << list;
  }
}

TEST(ShareAddresses, TextIsTheShortForm) {
  for (const char* text : {"10.0.0.1", "::1", "fe80::1:2", "2001:db8::5", "1::", "1:0:2::3"}) {
    NetAddress address;
    ASSERT_TRUE(ParseNetAddress(text, address)) << text;
    char back[64];
    NetAddressText(address, back, sizeof back);
    EXPECT_STREQ(back, text);
  }
}

const Bytes kLong = {0x00, 0x00, 0x78, 0x30, 0x38};
const Bytes kShort = {0x01};
const uint8_t kScreenType = TypeByte(PacketType::kScreen);

// A hub with a receiver behind it and clients on it; the time is the test's.
struct Hub {
  std::unique_ptr<ShareHub> hub = std::make_unique<ShareHub>();
  Tick now = 5000;
  // A status byte the program never sends: the reply must come back as the receiver sent it.
  Bytes identification = Frame(TypeByte(PacketType::kIdentificationReply),
                               Text("PRODUCT,MORWICK;PORT,0,0,38400,8,1,N,X"), 0x20);

  Hub() { Up(); }
  void Up() {
    ShareReceiverUp(*hub, identification.data(), static_cast<int>(identification.size()), 900);
  }
  int Attach(ClientRole role = ClientRole::kControl) {
    return AttachClient(*hub, role, "127.0.0.1:40000");
  }
  bool Send(int client, const Bytes& bytes) {
    return TakeClientBytes(*hub, client, bytes.data(), static_cast<int>(bytes.size()), now);
  }
  void Ask(int client) {
    Send(client, Cat({Frame(kScreenType, kLong), Frame(kScreenType, kShort)}));
  }
  void FromReceiver(const Bytes& item, bool sentence = false) {
    ShareItem(*hub, item.data(), static_cast<int>(item.size()), sentence, now);
  }
  Bytes ToClient(int client) {
    uint8_t out[kClientQueueBytes];
    int count = PeekForClient(*hub, client, out, sizeof out);
    SentToClient(*hub, client, count);
    return Bytes(out, out + count);
  }
  Bytes ToReceiver() {
    uint8_t out[kToReceiverBytes];
    return Bytes(out, out + TakeForReceiver(*hub, out));
  }
  Bytes Screen(char c) { return Frame(kScreenType, Bytes(161, static_cast<uint8_t>(c))); }
};

const Bytes kRound = Cat({Frame(kScreenType, kLong), Frame(kScreenType, kShort)});

TEST(ShareHub, TheProbeIsAnsweredOnlyWhileTheReceiverIsThere) {
  Hub h;
  int client = h.Attach(ClientRole::kWatch);
  h.Send(client, Bytes{kEnq});
  EXPECT_EQ(h.ToClient(client), Bytes{kAck});
  h.Send(client, Frame(TypeByte(PacketType::kIdentificationRequest), {}));
  EXPECT_EQ(h.ToClient(client), h.identification);
  EXPECT_TRUE(h.ToReceiver().empty());  // the receiver is not asked again

  ShareReceiverDown(*h.hub);
  h.Send(client, Handshake());
  h.Ask(client);
  EXPECT_TRUE(h.ToClient(client).empty());
  EXPECT_TRUE(h.ToReceiver().empty());
}

TEST(ShareHub, ManyAskersMakeOneRoundAndEachGetsTheScreenOnce) {
  Hub h;
  int clients[10];
  for (int& client : clients) client = h.Attach(ClientRole::kWatch);
  for (int client : clients) h.Ask(client);
  EXPECT_EQ(h.ToReceiver(), kRound);
  h.FromReceiver(h.Screen('A'));
  for (int client : clients) EXPECT_EQ(h.ToClient(client), h.Screen('A')) << client;
  h.FromReceiver(h.Screen('B'));  // the short request's answer, if any: nobody asked
  for (int client : clients) EXPECT_TRUE(h.ToClient(client).empty());

  // The next round goes no sooner than one panel would poll.
  h.now += 400;
  for (int client : clients) h.Ask(client);
  EXPECT_TRUE(h.ToReceiver().empty());
  h.now += 499;
  EXPECT_EQ(ShareTick(*h.hub, h.now), 1);
  EXPECT_TRUE(h.ToReceiver().empty());
  h.now += 1;
  ShareTick(*h.hub, h.now);
  EXPECT_EQ(h.ToReceiver(), kRound);
}

TEST(ShareHub, AKeysEffectIsAskedForAsAPanelAsksAndNoAskerGetsTheScreenFromBeforeIt) {
  Hub h;
  int watcher = h.Attach(ClientRole::kWatch);
  int presser = h.Attach(ClientRole::kControl);
  h.Ask(watcher);
  ASSERT_EQ(h.ToReceiver(), kRound);
  Bytes key = Frame(TypeByte(PacketType::kKey), {0x50});
  h.Send(presser, key);
  h.Ask(presser);  // asked after its key: the open round's screen is from before it
  EXPECT_EQ(h.ToReceiver(), key);
  h.FromReceiver(h.Screen('A'));
  EXPECT_EQ(h.ToClient(watcher), h.Screen('A'));
  EXPECT_TRUE(h.ToClient(presser).empty());
  EXPECT_EQ(h.ToReceiver(), kRound);  // at once, though one panel's poll has not passed
  h.FromReceiver(h.Screen('J'));
  EXPECT_EQ(h.ToClient(presser), h.Screen('J'));
  h.Ask(presser);
  // The key's other rounds come when a panel's follow-ups would; each shows the screen as
  // it then is to whoever asked.
  Tick keyAt = h.now;
  for (int round = 1; round < kKeyRounds; ++round) {
    h.now = keyAt + kKeyRoundMs[round] - 1;
    EXPECT_EQ(ShareTick(*h.hub, h.now), 1) << round;
    EXPECT_TRUE(h.ToReceiver().empty()) << round;
    h.now += 1;
    ShareTick(*h.hub, h.now);
    EXPECT_EQ(h.ToReceiver(), kRound) << round;
    h.FromReceiver(h.Screen(static_cast<char>('K' + round)));
    EXPECT_EQ(h.ToClient(presser), h.Screen(static_cast<char>('K' + round))) << round;
    h.Ask(presser);
  }
  // Then the poll's pace again.
  h.now += 1;
  ShareTick(*h.hub, h.now);
  EXPECT_TRUE(h.ToReceiver().empty());
}

TEST(ShareHub, AnUnansweredRoundIsGivenUpAndAskedAgain) {
  Hub h;
  int client = h.Attach();
  h.Ask(client);
  ASSERT_EQ(h.ToReceiver(), kRound);
  h.now += kRoundAnswerDueMs - 1;
  ShareTick(*h.hub, h.now);
  EXPECT_TRUE(h.ToReceiver().empty());
  h.now += 1;
  ShareTick(*h.hub, h.now);
  EXPECT_EQ(h.ToReceiver(), kRound);
  h.FromReceiver(h.Screen('A'));
  EXPECT_EQ(h.ToClient(client), h.Screen('A'));
}

TEST(ShareHub, KeysGoInOrderAndWholeFromThoseWhoMayPressThem) {
  Hub h;
  int presser = h.Attach(ClientRole::kControl);
  int watcher = h.Attach(ClientRole::kWatch);
  Bytes keys =
      Cat({Frame(TypeByte(PacketType::kKey), {'1'}), Frame(TypeByte(PacketType::kKey), {'2'}),
           Frame(TypeByte(PacketType::kSlaveRequest), {1, 4})});
  Bytes first(keys.begin(), keys.begin() + 9);  // a read that ends inside the second key
  Bytes rest(keys.begin() + 9, keys.end());
  EXPECT_FALSE(h.Send(presser, first));
  EXPECT_EQ(h.ToReceiver(), Frame(TypeByte(PacketType::kKey), {'1'}));
  EXPECT_FALSE(h.Send(presser, rest));
  EXPECT_EQ(h.ToReceiver(), Bytes(keys.begin() + 7, keys.end()));
  EXPECT_EQ(h.hub->keysForwarded, 2u);
  EXPECT_FALSE(h.Send(h.Attach(ClientRole::kPanel), keys));  // the browsers' panel presses too
  EXPECT_EQ(h.ToReceiver(), keys);

  EXPECT_TRUE(h.Send(watcher, keys));  // said, once
  EXPECT_FALSE(h.Send(watcher, keys));
  EXPECT_TRUE(h.ToReceiver().empty());
  EXPECT_EQ(h.hub->keysRefused, 6u);
}

TEST(ShareHub, ItemsReachEveryClientWholeAndOneThatFallsBehindIsMarked) {
  Hub h;
  int panel = h.Attach(ClientRole::kWatch);
  int slow = h.Attach(ClientRole::kWatch);
  int nmea = h.Attach(ClientRole::kNmea);
  int browsers = h.Attach(ClientRole::kPanel);  // screens only
  Bytes packet = Frame(TypeByte(PacketType::kRawObservation), Bytes(200, 0x57));
  Bytes sentence = Text(Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
  Bytes sent;
  int waiting = 0;
  for (int round = 0; round < 1000 && !ClientOverflowed(*h.hub, slow, waiting); ++round) {
    h.FromReceiver(packet);
    h.FromReceiver(sentence, true);
    sent = Cat({sent, packet, sentence});
    EXPECT_EQ(h.ToClient(panel), Cat({packet, sentence}));
    EXPECT_EQ(h.ToClient(nmea), sentence);
    EXPECT_TRUE(h.ToClient(browsers).empty());
  }
  ASSERT_TRUE(ClientOverflowed(*h.hub, slow, waiting));
  EXPECT_LE(waiting, kClientQueueBytes);
  Bytes kept = h.ToClient(slow);  // what it has is whole items, in order
  ASSERT_LE(kept.size(), sent.size());
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), sent.begin()));
  EXPECT_TRUE(kept.size() % (packet.size() + sentence.size()) == 0 ||
              (kept.size() - packet.size()) % (packet.size() + sentence.size()) == 0);
  h.FromReceiver(packet);
  EXPECT_TRUE(h.ToClient(slow).empty());  // nothing more for a client being dropped
}

}  // namespace
