// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// The simulated receivers the tests meet most: a MORWICK on its port 1 at 38400 baud.

#include <cstdint>
#include <vector>

#include "sim/fake_receiver.h"

inline const char* const kMorwick = "PRODUCT,MORWICK;PORT,1,0,38400,8,1,N,X;VERSION,2.10";

// A receiver that identifies as `identification`, meets the probe with `reply` and sends
// `dataRate` bursts of data a second once the program has spoken.
inline ReceiverScript Script(const char* identification = kMorwick, EnqReply reply = EnqReply::kAck,
                             double dataRate = 0) {
  ReceiverScript script;
  script.identification = identification;
  script.enqReply = reply;
  script.dataRate = dataRate;
  return script;
}

// A MORWICK sending `dataRate` bursts a second.
inline ReceiverScript Sending(double dataRate) {
  return Script(kMorwick, EnqReply::kAck, dataRate);
}

// Bytes from the receiver, in one write.
inline void Send(FakeReceiver& receiver, const std::vector<uint8_t>& bytes) {
  SendFromReceiver(receiver, bytes.data(), static_cast<int>(bytes.size()));
}

// How many packets of a type the receiver has been sent.
inline int SentCount(FakeReceiver& receiver, uint8_t type) {
  int count = 0;
  for (const SeenPacket& packet : ReceivedPackets(receiver)) count += packet.type == type;
  return count;
}

// The keys it has been sent, in order.
inline std::vector<int> SentKeys(FakeReceiver& receiver) {
  std::vector<int> keys;
  for (const SeenPacket& packet : ReceivedPackets(receiver)) {
    if (packet.type == 0x81 && packet.data.size() == 1) keys.push_back(packet.data[0]);
  }
  return keys;
}
