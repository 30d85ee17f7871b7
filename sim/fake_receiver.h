// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/wake_signal.h"
#include "link/packet.h"
#include "link/rx_ring.h"
#include "sim/line_timing.h"
#include "sim/receiver_model.h"
#include "sim/replay.h"
#include "sim/replay_player.h"
#include "sim/sim_line.h"

// The receiver's end of the wire, on the master side of a pseudo-terminal (or a loopback
// TCP port). It records everything the program writes and answers the way a receiver of
// the family does: its menus (receiver_model), its data (data_stream), or a recording
// (replay_player); line_timing gives its bytes and keys their time.

enum class EnqReply {
  kAck,           // ACK at once
  kSilent,        // nothing: a receiver that must be woken by a break
  kStrayThenAck,  // a stray byte, then ACK
  kIdentify,      // its identification frame at once, unasked
  kBrokenFrame,   // a frame whose checksum is wrong
};

struct ReceiverScript {
  EnqReply enqReply = EnqReply::kAck;
  std::string identification;  // the text of the 0x6E reply
  std::string afterReply;      // bytes sent in the same write as the reply, right behind it
  int unaskedReplyMs = -1;     // >= 0: send the identification by itself this long after ENQ
  bool answerScreens = true;   // answer screen requests from the menu model
  double dataRate = 0;         // data bursts a second once the program has spoken; 0: none
  double garbage = 0;          // fraction of data items sent corrupted, with line noise
  // Let go of the slave once the program has spoken, so that its closing the device is
  // seen: after peerGoneMs of hang-up the peer counts as gone.
  bool releaseSlaveOnContact = false;
  int peerGoneMs = 2000;
  int tcpPort = 0;  // > 0: serve one client at a time on this loopback port instead of a pty
  // A recording played again: its identification and screens answer the requests, its
  // stream follows the identification with its original timing, speedUp times faster.
  const Replay* replay = nullptr;
  double speedUp = 1;
  // A plain NMEA capture played as the receiver's data, a line at a time as it stands in
  // the file: as fast as the line carries it (nmeaRate 0) or nmeaRate lines a second, once
  // or again and again.
  const std::vector<std::string>* nmea = nullptr;
  double nmeaRate = 0;
  bool nmeaLoop = false;
  int keyDelayMs = 0;       // a key changes the receiver's screen this long after it arrives
  bool lineTime = false;    // what the receiver sends takes its time on the line at its speed
  bool cookedLine = false;  // the pty starts with XON/XOFF and CR to NL on (CookPtyLine)
  // Where to write a line for each packet received: its type, length and the line speed
  // in force ("6f 0 9600"); null: nowhere.
  FILE* traffic = nullptr;
};

struct SeenPacket {
  uint8_t type = 0;
  std::vector<uint8_t> data;
  SimClock::time_point at;
};

struct FakeReceiver {
  SimLine line;
  ReceiverScript script;
  std::thread thread;
  WakeSignal wake;
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> peerGone{false};

  std::mutex lock;  // guards everything below and every write to the master
  std::vector<uint8_t> received;
  std::vector<SeenPacket> packets;
  int enqCount = 0;
  bool hangUpRequested = false;
  bool contact = false;  // the program has sent something
  bool lineHungUp = false;
  SimClock::time_point hungUpSince;
  SimClock::time_point nextDataAt;
  int64_t dataSecond = 0;  // UTC: the data tells today's time and date
  unsigned long burstsSent = 0;
  std::mt19937 random{1994};
  bool unaskedPending = false;
  SimClock::time_point unaskedAt;
  LineTiming timing;         // keys yet to be handled, bytes still on their way
  ReplayPlayer player;       // with a recording: where its stream and screens are
  bool nmeaStarted = false;  // with a capture: it plays (once identified), its next line,
  size_t nmeaNext = 0;       // and when that goes
  SimClock::time_point nmeaAt;

  ReceiverModel model;
  RxRing ring;  // the receiver's own receive side, cut into frames by the link's code
  int linkState = kNothingReceived;

  FakeReceiver() = default;
  FakeReceiver(const FakeReceiver&) = delete;
  FakeReceiver& operator=(const FakeReceiver&) = delete;
  ~FakeReceiver();
};

// A script that plays `replay` (kept by the caller) `speedUp` times faster: its receiver
// answers the probe and the identification as the recorded one did, and sends nothing else
// of its own.
void ScriptReplay(ReceiverScript& script, const Replay& replay, double speedUp);

bool StartFakeReceiver(FakeReceiver& receiver, const ReceiverScript& script);
void StopFakeReceiver(FakeReceiver& receiver);

// The device path the program under test opens.
const char* FakeReceiverPath(const FakeReceiver& receiver);

// Bytes the receiver sends, from any thread.
void SendFromReceiver(FakeReceiver& receiver, const uint8_t* bytes, int count);
void SendFrameFromReceiver(FakeReceiver& receiver, uint8_t type, const uint8_t* data, int length);

// The device vanishes: the master side is closed and the program sees a hang-up.
void HangUpFakeReceiver(FakeReceiver& receiver);

// Copies of what has been received so far.
std::vector<uint8_t> ReceivedBytes(FakeReceiver& receiver);
std::vector<SeenPacket> ReceivedPackets(FakeReceiver& receiver);
int EnqCount(FakeReceiver& receiver);
bool HadContact(FakeReceiver& receiver);  // the program has sent something

// Sends no more data bursts (a benchmark's end: what was sent can then all be read) and
// says how many went out.
unsigned long StopSendingData(FakeReceiver& receiver);
void ClearReceived(FakeReceiver& receiver);

// A copy of the menu model's state.
ReceiverModel ModelState(FakeReceiver& receiver);

// The line speed the program set, read from the master side.
uint32_t FakeReceiverLineBaud(FakeReceiver& receiver);

// From now on screen requests go unanswered (or are answered again).
void SetAnswerScreens(FakeReceiver& receiver, bool answer);
