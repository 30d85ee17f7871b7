// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "base/byte_ring.h"
#include "base/tick.h"
#include "link/packet.h"
#include "link/rx_ring.h"
#include "share/client_queue.h"
#include "share/screen_rounds.h"

// The receiver shared among clients, as the logger that owns it decides: each client
// finds what it would find on the receiver's own line. The probe is answered here (ACK
// to ENQ, the receiver's identification frame to its request) while the receiver is
// connected; keys and other frames go to the receiver whole and in arrival order (from
// clients that may press keys); screen requests are coalesced (screen_rounds.h) and each
// screen goes to those who asked for it; every other frame and sentence goes to every
// client. NMEA clients get the sentences only.
//
// Three threads meet here, under one short lock: the receive worker hands in items, the
// share server hands in what clients send and takes out what they are sent, and the
// logger's main thread takes out what goes to the receiver. None of them waits on a
// client: a client whose queue cannot take an item whole is marked to be dropped.

constexpr int kMaxShareClients = 128;
constexpr int kClientQueueBytes = 64 * 1024;
constexpr int kClientAddressSize = 64;

enum class ClientRole : uint8_t {
  kWatch,    // sees everything, presses nothing
  kControl,  // presses keys too
  kNmea,     // the sentences only
  kPanel,    // the screens, and presses keys: a panel that logs nothing (the browsers')
};

// The servers whose clients attach to the hub.
enum ClientSideId { kShareSide, kWebSide, kClientSides };

struct ClientSide {
  void* context = nullptr;
  void (*wake)(void* context) = nullptr;
  std::atomic<bool> woken{false};  // woken, and not yet awake
  std::atomic<int> attached{0};    // clients of this side
};

struct ShareClient {
  bool attached = false;
  int side = kShareSide;
  ClientRole role = ClientRole::kWatch;
  char address[kClientAddressSize] = {};
  RxRing input;  // what it sent, until whole frames are in it
  int linkState = kNothingReceived;
  ClientQueue queue;
  bool awaitingScreen = false;  // asked since its last screen
  bool coveredByRound = false;  // the open round answers its ask
  bool overflowed = false;      // an item did not fit: to be dropped
  bool keysRefusedSaid = false;
};

struct ShareHub {
  std::mutex lock;
  ShareClient clients[kMaxShareClients];
  std::atomic<int> attachedCount{0};

  // The receiver, as the logger's main thread last said.
  bool receiverUp = false;
  uint8_t identification[kMaxFrameLength] = {};
  int identificationLength = 0;

  ScreenRounds rounds;
  ByteRing<4096> toReceiver;  // kToReceiverBytes  // whole frames, for the main thread to write

  // Who to wake: the main thread when frames wait for the receiver (set by the logger),
  // the server of a client when bytes wait for it (set by each server as it starts).
  void* receiverSide = nullptr;
  void (*wakeReceiverSide)(void* context) = nullptr;
  ClientSide clientSides[kClientSides];

  // For the metrics and the journal.
  std::atomic<unsigned long> keysForwarded{0};
  std::atomic<unsigned long> keysRefused{0};  // from clients that may only watch
  std::atomic<unsigned long> framesLost{0};   // to the receiver, when its queue was full
  std::atomic<unsigned long> clientsDropped{0};
};

// A client in a free place: its index, or -1 when every place is taken.
int AttachClient(ShareHub& hub, ClientRole role, const char* address, int side = kShareSide);
void DetachClient(ShareHub& hub, int client);

// What a client sent. true when its keys were refused for the first time (to be said).
bool TakeClientBytes(ShareHub& hub, int client, const uint8_t* bytes, int count, Tick now);

// An item from the receiver (the worker's thread): a frame, or a sentence.
void ShareItem(ShareHub& hub, const uint8_t* bytes, int count, bool sentence, Tick now);

// The receiver as the logger has it: connected with this identification frame and poll
// period, or gone (nothing is answered for it; what waited for it is forgotten).
void ShareReceiverUp(ShareHub& hub, const uint8_t* identification, int length, int pollMs);
void ShareReceiverDown(ShareHub& hub);

// Rounds due by the time; how long until the next is, -1: none.
int ShareTick(ShareHub& hub, Tick now);

constexpr int kToReceiverBytes = 4096;
// Whole frames for the receiver: all that wait, into `out` of kToReceiverBytes.
int TakeForReceiver(ShareHub& hub, uint8_t (&out)[kToReceiverBytes]);

// A server of clients has woken: items queued from now on wake it again.
void ClientSideAwake(ShareHub& hub, int side = kShareSide);

// A client's waiting bytes, without taking them out; then the bytes it took.
int PeekForClient(ShareHub& hub, int client, uint8_t* out, int size);
void SentToClient(ShareHub& hub, int client, int count);
// To be dropped: it did not keep up. The bytes that were waiting, for the journal.
bool ClientOverflowed(ShareHub& hub, int client, int& waiting);
