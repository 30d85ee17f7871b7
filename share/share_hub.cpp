// SPDX-License-Identifier: BSD-2-Clause
#include "share/share_hub.h"

#include <cstdio>

#include "link/packet_type.h"

namespace {

using Hold = std::lock_guard<std::mutex>;

bool GetsScreens(const ShareClient& client) {
  return client.attached && client.role != ClientRole::kNmea;
}

// The receiver's data items: frames other than screens, and sentences.
bool GetsItem(const ShareClient& client, bool sentence) {
  if (!client.attached) return false;
  switch (client.role) {
    case ClientRole::kWatch:
    case ClientRole::kControl:
      return true;
    case ClientRole::kNmea:
      return sentence;
    case ClientRole::kPanel:
      return false;
  }
  return false;
}

bool MayPress(const ShareClient& client) {
  return client.role == ClientRole::kControl || client.role == ClientRole::kPanel;
}

// Queues an item for one client; one that cannot take it whole is to be dropped, and gets
// nothing more.
void Give(ShareClient& client, const uint8_t* bytes, int count) {
  if (client.overflowed) return;
  if (!QueueItem(client.queue, bytes, count)) client.overflowed = true;
}

// Each server with clients attached, once until it says it is awake.
void WakeClientSides(ShareHub& hub) {
  for (ClientSide& side : hub.clientSides) {
    if (side.wake != nullptr && side.attached.load() > 0 && !side.woken.exchange(true)) {
      side.wake(side.context);
    }
  }
}

// A frame for the receiver, whole or not at all.
void ToReceiver(ShareHub& hub, const uint8_t* frame, int count) {
  if (RingFill(hub.toReceiver) + count >= static_cast<int>(sizeof hub.toReceiver.bytes)) {
    ++hub.framesLost;
    return;
  }
  PushBytes(hub.toReceiver, frame, count);
  if (hub.wakeReceiverSide != nullptr) hub.wakeReceiverSide(hub.receiverSide);
}

bool AnyoneAwaitsScreen(const ShareHub& hub) {
  for (const ShareClient& client : hub.clients) {
    if (client.attached && client.awaitingScreen) return true;
  }
  return false;
}

// The requests of a round that is due, to the receiver.
void SendDueRequests(ShareHub& hub, Tick now) {
  if (!hub.receiverUp) return;
  if (RoundTimedOut(hub.rounds, now)) {
    for (ShareClient& client : hub.clients) client.coveredByRound = false;
  }
  bool opening = !hub.rounds.open;
  int due[kScreenRequestKinds];
  int count = DueRequests(hub.rounds, AnyoneAwaitsScreen(hub), now, due, kScreenRequestKinds);
  if (opening && hub.rounds.open) {
    for (ShareClient& client : hub.clients) client.coveredByRound = client.awaitingScreen;
  }
  for (int i = 0; i < count; ++i) {
    const ScreenRequestKind& kind = hub.rounds.kinds[due[i]];
    uint8_t frame[kMaxFrameLength];
    int size = BuildFrame(TypeByte(PacketType::kScreen), kind.data, kind.length, frame);
    ToReceiver(hub, frame, size);
  }
}

void OnScreenRequest(ShareHub& hub, ShareClient& client, const Packet& packet, Tick now) {
  bool passThrough = false;
  bool covered = AskForScreen(hub.rounds, packet.data, packet.length, passThrough);
  if (passThrough) {
    ToReceiver(hub, packet.raw, packet.length + kFrameOverhead);
    return;
  }
  client.awaitingScreen = true;
  client.coveredByRound = covered;
  SendDueRequests(hub, now);
}

// Keys, the slave request and whatever else a client sends on: to the receiver from those
// who may press keys. true when a watcher's keys are refused for the first time.
bool OnCommand(ShareHub& hub, ShareClient& client, const Packet& packet, Tick now) {
  if (!MayPress(client)) {
    ++hub.keysRefused;
    bool first = !client.keysRefusedSaid;
    client.keysRefusedSaid = true;
    return first;
  }
  if (!hub.receiverUp) return false;  // lost, as a key to a receiver switched off is
  ToReceiver(hub, packet.raw, packet.length + kFrameOverhead);
  if (packet.type == TypeByte(PacketType::kKey)) {
    ++hub.keysForwarded;
    NoteKeyForwarded(hub.rounds, now);
  }
  return false;
}

bool OnClientFrame(ShareHub& hub, ShareClient& client, const Packet& packet, Tick now) {
  if (packet.type == TypeByte(PacketType::kIdentificationRequest)) {
    if (hub.receiverUp) Give(client, hub.identification, hub.identificationLength);
    return false;
  }
  if (packet.type == TypeByte(PacketType::kScreen)) {
    OnScreenRequest(hub, client, packet, now);
    return false;
  }
  return OnCommand(hub, client, packet, now);
}

// A screen to those who asked for it: while a round is open, those it answers; else
// (a screen nobody's round asked for) all who wait.
void OnScreen(ShareHub& hub, const uint8_t* bytes, int count, Tick now) {
  bool roundOpen = hub.rounds.open;
  for (ShareClient& client : hub.clients) {
    if (!GetsScreens(client) || !client.awaitingScreen) continue;
    if (roundOpen && !client.coveredByRound) continue;
    Give(client, bytes, count);
    client.awaitingScreen = false;
    client.coveredByRound = false;
  }
  ScreenAnswered(hub.rounds);
  SendDueRequests(hub, now);  // those who asked after a key want the next one
}

}  // namespace

int AttachClient(ShareHub& hub, ClientRole role, const char* address, int side) {
  Hold hold(hub.lock);
  for (int i = 0; i < kMaxShareClients; ++i) {
    ShareClient& client = hub.clients[i];
    if (client.attached) continue;
    PrepareClientQueue(client.queue, kClientQueueBytes);
    client.input.read = client.input.write = 0;
    client.linkState = kNothingReceived;
    client.role = role;
    std::snprintf(client.address, sizeof client.address, "%s", address);
    client.awaitingScreen = client.coveredByRound = client.overflowed = false;
    client.keysRefusedSaid = false;
    client.attached = true;
    client.side = side;
    ++hub.attachedCount;
    ++hub.clientSides[side].attached;
    return i;
  }
  return -1;
}

void DetachClient(ShareHub& hub, int client) {
  Hold hold(hub.lock);
  if (!hub.clients[client].attached) return;
  hub.clients[client].attached = false;
  --hub.attachedCount;
  --hub.clientSides[hub.clients[client].side].attached;
}

bool TakeClientBytes(ShareHub& hub, int index, const uint8_t* bytes, int count, Tick now) {
  Hold hold(hub.lock);
  ShareClient& client = hub.clients[index];
  if (client.role == ClientRole::kNmea) return false;  // what an NMEA client says is not heard
  bool refused = false;
  Packet packet;
  for (int i = 0; i < count; ++i) {
    if (RingEmpty(client.input) && bytes[i] == kEnq) {  // the probe, between frames
      if (hub.receiverUp) Give(client, &kAck, 1);
      continue;
    }
    PushReceived(client.input, bytes + i, 1);
    int pulled;
    while ((pulled = PullPacket(client.input, client.linkState, packet)) != -1) {
      if (pulled == 0) refused = OnClientFrame(hub, client, packet, now) || refused;
    }
  }
  return refused;  // what it is sent in answer goes out with the server's next writes
}

void ClientSideAwake(ShareHub& hub, int side) {
  hub.clientSides[side].woken = false;
}

void ShareItem(ShareHub& hub, const uint8_t* bytes, int count, bool sentence, Tick now) {
  if (hub.attachedCount.load() == 0) return;
  {
    Hold hold(hub.lock);
    if (!sentence && count > 2 && bytes[2] == TypeByte(PacketType::kScreen)) {
      OnScreen(hub, bytes, count, now);
    } else {
      for (ShareClient& client : hub.clients) {
        if (GetsItem(client, sentence)) Give(client, bytes, count);
      }
    }
  }
  WakeClientSides(hub);
}

void ShareReceiverUp(ShareHub& hub, const uint8_t* identification, int length, int pollMs) {
  Hold hold(hub.lock);
  for (int i = 0; i < length; ++i) hub.identification[i] = identification[i];
  hub.identificationLength = length;
  hub.rounds.gapMs = pollMs;
  hub.receiverUp = length > 0;
}

void ShareReceiverDown(ShareHub& hub) {
  Hold hold(hub.lock);
  hub.receiverUp = false;
  ForgetRounds(hub.rounds);
  hub.toReceiver.read = hub.toReceiver.write;  // for the receiver that was
}

int ShareTick(ShareHub& hub, Tick now) {
  Hold hold(hub.lock);
  SendDueRequests(hub, now);
  if (!hub.receiverUp) return -1;
  return MsUntilRoundDue(hub.rounds, AnyoneAwaitsScreen(hub), now);
}

int TakeForReceiver(ShareHub& hub, uint8_t (&out)[kToReceiverBytes]) {
  static_assert(sizeof hub.toReceiver.bytes == kToReceiverBytes, "all that waits fits");
  Hold hold(hub.lock);
  int count = RingFill(hub.toReceiver);
  for (int i = 0; i < count; ++i) out[i] = RingAt(hub.toReceiver, i);
  RingConsume(hub.toReceiver, count);
  return count;
}

int PeekForClient(ShareHub& hub, int client, uint8_t* out, int size) {
  Hold hold(hub.lock);
  return PeekQueued(hub.clients[client].queue, out, size);
}

void SentToClient(ShareHub& hub, int client, int count) {
  Hold hold(hub.lock);
  ConsumeQueued(hub.clients[client].queue, count);
}

bool ClientOverflowed(ShareHub& hub, int client, int& waiting) {
  Hold hold(hub.lock);
  waiting = QueuedBytes(hub.clients[client].queue);
  return hub.clients[client].overflowed;
}
