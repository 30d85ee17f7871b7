// SPDX-License-Identifier: BSD-2-Clause
#include "sim/fake_receiver.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "link/identification.h"
#include "link/packet_type.h"
#include "sim/data_stream.h"

namespace {

constexpr int kCaptureAfterReplyMs = 300;

constexpr uint8_t kStrayByte = 0x55;

void WriteNow(void* context, const uint8_t* bytes, int count) {
  WriteToLine(static_cast<FakeReceiver*>(context)->line, bytes, count);
}

// With line time on, bytes arrive when a real line at the pty's speed would have carried
// them. Caller holds the lock.
void WriteAllLocked(FakeReceiver& receiver, const uint8_t* bytes, int count) {
  if (!receiver.script.lineTime || receiver.line.overTcp) {
    WriteToLine(receiver.line, bytes, count);
    return;
  }
  PutOnLine(receiver.timing, bytes, count, PtyLineSpeed(receiver.line.pty), SimClock::now(),
            WriteNow, &receiver);
}

void OnKeyLocked(FakeReceiver& receiver, uint8_t code) {
  if (receiver.script.keyDelayMs <= 0) {
    ApplyKey(receiver.model, code);
    return;
  }
  auto at = SimClock::now() + std::chrono::milliseconds(receiver.script.keyDelayMs);
  DelayKey(receiver.timing, receiver.model, code, at);
}

void SendFrameLocked(FakeReceiver& receiver, uint8_t type, const uint8_t* data, int length) {
  uint8_t frame[kMaxFrameLength];
  int size = BuildFrame(type, data, length, frame);
  WriteAllLocked(receiver, frame, size);
}

void SendIdentificationLocked(FakeReceiver& receiver) {
  const std::string& text = receiver.script.identification;
  int length = static_cast<int>(text.size() > kMaxDataLength ? kMaxDataLength : text.size());
  uint8_t frame[kMaxFrameLength];
  int size = BuildFrame(kIdentificationReply, reinterpret_cast<const uint8_t*>(text.data()), length,
                        frame);
  std::vector<uint8_t> bytes(frame, frame + size);
  bytes.insert(bytes.end(), receiver.script.afterReply.begin(), receiver.script.afterReply.end());
  WriteAllLocked(receiver, bytes.data(), static_cast<int>(bytes.size()));
  StartReplayStream(receiver.player, SimClock::now());  // a recording starts over from here
  // A capture starts once the program has switched the line to the receiver's settings.
  receiver.nmeaAt = SimClock::now() + std::chrono::milliseconds(kCaptureAfterReplyMs);
  receiver.nmeaStarted = true;
}

// The recording's screen, or without one, the model's.
void SendScreenNowLocked(FakeReceiver& receiver) {
  if (const std::vector<uint8_t>* frame = NextRecordedScreen(receiver.player)) {
    WriteAllLocked(receiver, frame->data(), static_cast<int>(frame->size()));
    return;
  }
  receiver.model.seconds = static_cast<int64_t>(std::time(nullptr));
  uint8_t screen[161];
  RenderModelScreen(receiver.model, screen);
  SendFrameLocked(receiver, TypeByte(PacketType::kScreen), screen, sizeof screen);
}

void SendReplayDueLocked(FakeReceiver& receiver) {
  ReplayPlayer& player = receiver.player;
  while (const std::vector<uint8_t>* bytes = TakeDueChunk(player, SimClock::now())) {
    WriteAllLocked(receiver, bytes->data(), static_cast<int>(bytes->size()));
    if (player.screenOwed && ReplayAtCleanPoint(player)) {
      player.screenOwed = false;
      SendScreenNowLocked(receiver);
    }
  }
}

void SendScreenLocked(FakeReceiver& receiver) {
  if (ReplayAtCleanPoint(receiver.player)) {
    SendScreenNowLocked(receiver);
  } else {
    receiver.player.screenOwed = true;  // after the item under way, as a receiver sends it
  }
}

void OnEnqLocked(FakeReceiver& receiver) {
  ++receiver.enqCount;
  const uint8_t ack = kAck;
  const uint8_t stray = kStrayByte;
  switch (receiver.script.enqReply) {
    case EnqReply::kAck:
      WriteAllLocked(receiver, &ack, 1);
      break;
    case EnqReply::kStrayThenAck:
      WriteAllLocked(receiver, &stray, 1);
      WriteAllLocked(receiver, &ack, 1);
      break;
    case EnqReply::kIdentify:
      SendIdentificationLocked(receiver);
      break;
    case EnqReply::kBrokenFrame: {
      uint8_t frame[kMaxFrameLength];
      int size = BuildFrame(kIdentificationReply, reinterpret_cast<const uint8_t*>("X"), 1, frame);
      frame[size - 2] ^= 0xFF;
      WriteAllLocked(receiver, frame, size);
      break;
    }
    case EnqReply::kSilent:
      break;
  }
  if (receiver.script.unaskedReplyMs >= 0) {
    receiver.unaskedPending = true;
    receiver.unaskedAt =
        SimClock::now() + std::chrono::milliseconds(receiver.script.unaskedReplyMs);
  }
}

void OnPacketLocked(FakeReceiver& receiver, const Packet& packet) {
  SeenPacket seen;
  seen.type = packet.type;
  seen.data.assign(packet.data, packet.data + packet.length);
  seen.at = SimClock::now();
  receiver.packets.push_back(std::move(seen));
  if (receiver.script.traffic != nullptr) {
    uint32_t speed = receiver.line.overTcp ? 0 : PtyLineSpeed(receiver.line.pty);
    std::fprintf(receiver.script.traffic, "%02x %u %u\n", packet.type, packet.length, speed);
    std::fflush(receiver.script.traffic);
  }
  switch (packet.type) {
    case kIdentificationRequest:
      SendIdentificationLocked(receiver);
      break;
    case TypeByte(PacketType::kKey):
      if (packet.length == 1) OnKeyLocked(receiver, packet.data[0]);
      break;
    case TypeByte(PacketType::kScreen):
      if (packet.length == 5 && receiver.script.answerScreens) SendScreenLocked(receiver);
      break;
    case TypeByte(PacketType::kSlaveRequest):
      ++receiver.model.slaveRequests;
      break;
  }
}

void OnContactLocked(FakeReceiver& receiver) {
  if (receiver.contact) return;
  receiver.contact = true;
  receiver.nextDataAt = SimClock::now();
  receiver.dataSecond = static_cast<int64_t>(std::time(nullptr));
  if (receiver.script.releaseSlaveOnContact && receiver.line.pty.slaveHold >= 0) {
    close(receiver.line.pty.slaveHold);
    receiver.line.pty.slaveHold = -1;
  }
}

// An ENQ is a lone 0x05 that arrives while no frame is partly received.
void OnBytesLocked(FakeReceiver& receiver, const uint8_t* bytes, int count) {
  OnContactLocked(receiver);
  for (int i = 0; i < count; ++i) {
    receiver.received.push_back(bytes[i]);
    if (RingEmpty(receiver.ring) && bytes[i] == kEnq) {
      OnEnqLocked(receiver);
      continue;
    }
    PushReceived(receiver.ring, bytes + i, 1);
    Packet packet;
    int pulled;
    while ((pulled = PullPacket(receiver.ring, receiver.linkState, packet)) != -1) {
      if (pulled == 0) OnPacketLocked(receiver, packet);
    }
  }
}

bool DataDueLocked(const FakeReceiver& receiver) {
  return receiver.contact && receiver.script.dataRate > 0 && !receiver.lineHungUp;
}

bool NmeaDueLocked(const FakeReceiver& receiver) {
  const std::vector<std::string>* nmea = receiver.script.nmea;
  return receiver.nmeaStarted && nmea != nullptr && !nmea->empty() && !receiver.lineHungUp &&
         (receiver.nmeaNext < nmea->size() || receiver.script.nmeaLoop);
}

// The capture's next line, and the time it takes: its bytes at the line's speed, or its
// share of a second at the rate asked for.
void SendNmeaLocked(FakeReceiver& receiver) {
  const std::vector<std::string>& nmea = *receiver.script.nmea;
  if (receiver.nmeaNext >= nmea.size()) receiver.nmeaNext = 0;  // looped
  const std::string& line = nmea[receiver.nmeaNext++];
  WriteAllLocked(receiver, reinterpret_cast<const uint8_t*>(line.data()),
                 static_cast<int>(line.size()));
  double seconds = receiver.script.nmeaRate > 0 ? 1.0 / receiver.script.nmeaRate : 0;
  if (seconds == 0) {
    uint32_t baud = receiver.line.overTcp ? 115200 : PtyLineSpeed(receiver.line.pty);
    seconds = static_cast<double>(line.size()) * 10 / (baud > 0 ? baud : 9600);
  }
  receiver.nmeaAt +=
      std::chrono::duration_cast<SimClock::duration>(std::chrono::duration<double>(seconds));
  if (receiver.nmeaAt < SimClock::now()) receiver.nmeaAt = SimClock::now();
}

// Rounded up: a wait cut to whole milliseconds would end before the time and poll again
// with no wait at all, over and over, until it came.
int MillisecondsUntil(SimClock::time_point at) {
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(at - SimClock::now());
  return left.count() > 0 ? static_cast<int>((left.count() + 999) / 1000) : 0;
}

int MillisecondsUntilDue(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  int wait = -1;
  if (receiver.unaskedPending) wait = MillisecondsUntil(receiver.unaskedAt);
  if (DataDueLocked(receiver)) {
    int data = MillisecondsUntil(receiver.nextDataAt);
    wait = wait < 0 || data < wait ? data : wait;
  }
  if (NmeaDueLocked(receiver)) {
    int line = MillisecondsUntil(receiver.nmeaAt);
    wait = wait < 0 || line < wait ? line : wait;
  }
  if (ReplayPending(receiver.player)) {
    int due = MillisecondsUntil(ReplayDueAt(receiver.player));
    wait = wait < 0 || due < wait ? due : wait;
  }
  SimClock::time_point next = NextLineEvent(receiver.timing);
  if (next != SimClock::time_point::max()) {
    int due = MillisecondsUntil(next);
    wait = wait < 0 || due < wait ? due : wait;
  }
  if (receiver.lineHungUp) wait = wait < 0 || wait > 100 ? 100 : wait;  // look again soon
  return wait;
}

void SendDataLocked(FakeReceiver& receiver) {
  std::vector<uint8_t> burst;
  AppendDataBurst(receiver.model, receiver.dataSecond++, receiver.script.garbage, receiver.random,
                  burst);
  WriteAllLocked(receiver, burst.data(), static_cast<int>(burst.size()));
  ++receiver.burstsSent;
  auto period = std::chrono::duration<double>(1.0 / receiver.script.dataRate);
  receiver.nextDataAt += std::chrono::duration_cast<SimClock::duration>(period);
  if (receiver.nextDataAt < SimClock::now()) receiver.nextDataAt = SimClock::now();
}

void SendDueLocked(FakeReceiver& receiver) {
  if (receiver.player.replay != nullptr) SendReplayDueLocked(receiver);
  ApplyDueKeys(receiver.timing, receiver.model, false, SimClock::now());
  DeliverDue(receiver.timing, false, SimClock::now(), WriteNow, &receiver);
  if (receiver.unaskedPending && SimClock::now() >= receiver.unaskedAt) {
    receiver.unaskedPending = false;
    SendIdentificationLocked(receiver);
  }
  if (DataDueLocked(receiver) && SimClock::now() >= receiver.nextDataAt) SendDataLocked(receiver);
  while (NmeaDueLocked(receiver) && SimClock::now() >= receiver.nmeaAt) SendNmeaLocked(receiver);
}

// With the slave let go, a hang-up means the program has closed the device; it may just be
// reopening it, so only a hang-up that lasts counts as the peer having gone.
void NoteHangUpLocked(FakeReceiver& receiver, bool hungUp) {
  if (!hungUp) {
    receiver.lineHungUp = false;
    return;
  }
  if (!receiver.lineHungUp) receiver.hungUpSince = SimClock::now();
  receiver.lineHungUp = true;
  auto lasted = SimClock::now() - receiver.hungUpSince;
  if (lasted > std::chrono::milliseconds(receiver.script.peerGoneMs)) receiver.peerGone = true;
}

int CurrentLineHandle(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  return LineHandle(receiver.line);
}

// While the line is hung up the master is not watched: its hang-up would wake us at once.
int WatchedLine(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  return receiver.lineHungUp ? -1 : LineHandle(receiver.line);
}

void EndClientLocked(FakeReceiver& receiver) {
  EndClient(receiver.line);
  if (receiver.script.releaseSlaveOnContact) receiver.peerGone = true;
}

void ServeLine(FakeReceiver& receiver) {
  uint8_t chunk[512];
  while (!receiver.stopRequested) {
    // Only this thread closes the line, so the handle stays valid while it polls.
    int handle = WatchedLine(receiver);
    struct pollfd entries[3] = {{handle, POLLIN, 0},
                                {static_cast<int>(receiver.wake.handle), POLLIN, 0},
                                {handle < 0 ? receiver.line.listenHandle : -1, POLLIN, 0}};
    int ready = poll(entries, 3, MillisecondsUntilDue(receiver));
    if (ready < 0 && errno != EINTR) {
      std::fprintf(stderr, "sim: poll failed: %s\n", std::strerror(errno));
      return;
    }
    if (receiver.stopRequested) return;
    if (entries[1].revents & POLLIN) ClearWakeSignal(receiver.wake);
    std::lock_guard<std::mutex> hold(receiver.lock);
    if (receiver.hangUpRequested) {
      HangUpLine(receiver.line);
      continue;
    }
    if (entries[2].revents & POLLIN) AcceptClient(receiver.line);
    if (receiver.line.overTcp) {
      if (receiver.line.client >= 0 && (entries[0].revents & (POLLIN | POLLHUP | POLLERR))) {
        ssize_t n = read(receiver.line.client, chunk, sizeof chunk);
        if (n > 0) OnBytesLocked(receiver, chunk, static_cast<int>(n));
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) EndClientLocked(receiver);
      }
      SendDueLocked(receiver);
      continue;
    }
    bool hungUp = receiver.lineHungUp || (entries[0].revents & (POLLHUP | POLLERR)) != 0;
    if (receiver.line.pty.master >= 0 && (hungUp || (entries[0].revents & POLLIN))) {
      ssize_t n = read(receiver.line.pty.master, chunk, sizeof chunk);
      if (n > 0) OnBytesLocked(receiver, chunk, static_cast<int>(n));
      hungUp = n < 0 && errno == EIO;  // EAGAIN: the program holds the device again
    }
    if (receiver.contact && receiver.script.releaseSlaveOnContact)
      NoteHangUpLocked(receiver, hungUp);
    SendDueLocked(receiver);
  }
}

}  // namespace

FakeReceiver::~FakeReceiver() {
  StopFakeReceiver(*this);
}

void ScriptReplay(ReceiverScript& script, const Replay& replay, double speedUp) {
  script.identification = replay.identification;
  script.enqReply = replay.answersProbe ? EnqReply::kAck : EnqReply::kSilent;
  script.unaskedReplyMs = replay.unaskedReplyMs;
  script.dataRate = 0;
  script.garbage = 0;
  script.replay = &replay;
  script.speedUp = speedUp;
}

bool StartFakeReceiver(FakeReceiver& receiver, const ReceiverScript& script) {
  receiver.script = script;
  receiver.player.replay = script.replay;
  receiver.player.speedUp = script.speedUp;
  if (!OpenSimLine(receiver.line, script.tcpPort, script.cookedLine)) {
    CloseSimLine(receiver.line);
    return false;
  }
  if (!OpenWakeSignal(receiver.wake)) {
    std::fprintf(stderr, "sim: eventfd failed: %s\n", std::strerror(errno));
    CloseSimLine(receiver.line);
    return false;
  }
  receiver.stopRequested = false;
  receiver.thread = std::thread(ServeLine, std::ref(receiver));
  return true;
}

void StopFakeReceiver(FakeReceiver& receiver) {
  if (receiver.thread.joinable()) {
    receiver.stopRequested = true;
    RaiseWakeSignal(receiver.wake);
    receiver.thread.join();
  }
  CloseWakeSignal(receiver.wake);
  CloseSimLine(receiver.line);
}

const char* FakeReceiverPath(const FakeReceiver& receiver) {
  return receiver.line.pty.slavePath;
}

void SendFromReceiver(FakeReceiver& receiver, const uint8_t* bytes, int count) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  WriteAllLocked(receiver, bytes, count);
}

void SendFrameFromReceiver(FakeReceiver& receiver, uint8_t type, const uint8_t* data, int length) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  SendFrameLocked(receiver, type, data, length);
}

void HangUpFakeReceiver(FakeReceiver& receiver) {
  {
    std::lock_guard<std::mutex> hold(receiver.lock);
    receiver.hangUpRequested = true;
  }
  RaiseWakeSignal(receiver.wake);
  while (CurrentLineHandle(receiver) >= 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::vector<uint8_t> ReceivedBytes(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  return receiver.received;
}

std::vector<SeenPacket> ReceivedPackets(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  return receiver.packets;
}

int EnqCount(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  return receiver.enqCount;
}

unsigned long StopSendingData(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  receiver.script.dataRate = 0;
  return receiver.burstsSent;
}

bool HadContact(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  return receiver.contact;
}

void ClearReceived(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  receiver.received.clear();
  receiver.packets.clear();
}

ReceiverModel ModelState(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  return receiver.model;
}

uint32_t FakeReceiverLineBaud(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  return PtyLineSpeed(receiver.line.pty);
}

void SetAnswerScreens(FakeReceiver& receiver, bool answer) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  receiver.script.answerScreens = answer;
}
