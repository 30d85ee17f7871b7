// SPDX-License-Identifier: BSD-2-Clause
#include "sim/fake_receiver.h"

#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "link/identification.h"
#include "sim/data_stream.h"

namespace {

constexpr uint8_t kStrayByte = 0x55;
constexpr uint8_t kKeyPacketType = 0x81;
constexpr uint8_t kScreenRequestType = 0x82;  // the request and the screen that answers it
constexpr uint8_t kSlaveRequestType = 0x84;

constexpr size_t kMaxPendingKeys = 64;
constexpr size_t kMaxOnTheLine = 256;

// Writes everything, waiting (briefly) while the pty's buffer is full. Caller holds lock.
void WriteNowLocked(FakeReceiver& receiver, const uint8_t* bytes, int count) {
  int written = 0;
  while (written < count && receiver.pty.master >= 0) {
    ssize_t n = write(receiver.pty.master, bytes + written, static_cast<size_t>(count - written));
    if (n > 0) {
      written += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      std::fprintf(stderr, "sim: write to the pty failed: %s\n", std::strerror(errno));
      return;
    }
    struct pollfd entry = {receiver.pty.master, POLLOUT, 0};
    if (poll(&entry, 1, 1000) <= 0) {
      std::fprintf(stderr, "sim: the pty stays full; %d bytes dropped\n", count - written);
      return;
    }
  }
}

void DeliverDueLocked(FakeReceiver& receiver, bool all) {
  while (!receiver.onTheLine.empty() && (all || receiver.onTheLine.front().at <= SimClock::now())) {
    const std::vector<uint8_t>& bytes = receiver.onTheLine.front().bytes;
    WriteNowLocked(receiver, bytes.data(), static_cast<int>(bytes.size()));
    receiver.onTheLine.pop_front();
  }
}

// With line time on, bytes arrive when a real line at the pty's speed would have carried
// them: after what is already on its way, 10 bits a byte.
void WriteAllLocked(FakeReceiver& receiver, const uint8_t* bytes, int count) {
  if (!receiver.script.lineTime || receiver.script.tcpPort > 0) {
    WriteNowLocked(receiver, bytes, count);
    return;
  }
  if (receiver.onTheLine.size() >= kMaxOnTheLine) DeliverDueLocked(receiver, true);
  uint32_t baud = PtyLineSpeed(receiver.pty);
  if (baud == 0) baud = 9600;
  auto start = std::max(SimClock::now(), receiver.lineFreeAt);
  auto carried = std::chrono::microseconds(static_cast<int64_t>(count) * 10 * 1000000 / baud);
  receiver.lineFreeAt = start + carried;
  receiver.onTheLine.push_back({std::vector<uint8_t>(bytes, bytes + count), receiver.lineFreeAt});
}

void ApplyDueKeysLocked(FakeReceiver& receiver, bool all) {
  while (!receiver.pendingKeys.empty() &&
         (all || receiver.pendingKeys.front().at <= SimClock::now())) {
    ApplyKey(receiver.model, receiver.pendingKeys.front().code);
    receiver.pendingKeys.pop_front();
  }
}

void OnKeyLocked(FakeReceiver& receiver, uint8_t code) {
  if (receiver.script.keyDelayMs <= 0) {
    ApplyKey(receiver.model, code);
    return;
  }
  if (receiver.pendingKeys.size() >= kMaxPendingKeys) ApplyDueKeysLocked(receiver, true);
  auto at = SimClock::now() + std::chrono::milliseconds(receiver.script.keyDelayMs);
  receiver.pendingKeys.push_back({code, at});
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
  if (receiver.script.replay != nullptr) {  // the recording's stream starts over from here
    receiver.replaying = true;
    receiver.replayStart = SimClock::now();
    receiver.replayChunk = 0;
  }
}

// When the next chunk of a recording's stream is due.
SimClock::time_point ReplayDueAt(const FakeReceiver& receiver) {
  const ReplayChunk& next = receiver.script.replay->stream[receiver.replayChunk];
  auto after = std::chrono::microseconds(
      static_cast<int64_t>(static_cast<double>(next.microseconds) / receiver.script.speedUp));
  return receiver.replayStart + after;
}

bool ReplayPendingLocked(const FakeReceiver& receiver) {
  return receiver.replaying && receiver.replayChunk < receiver.script.replay->stream.size();
}

// The recorded screens in order, the last again when they run out; without any, the
// model's screen.
void SendScreenNowLocked(FakeReceiver& receiver) {
  const Replay* replay = receiver.script.replay;
  if (replay != nullptr && !replay->screens.empty()) {
    size_t index = receiver.replayScreen < replay->screens.size() ? receiver.replayScreen++
                                                                  : replay->screens.size() - 1;
    const std::vector<uint8_t>& frame = replay->screens[index];
    WriteAllLocked(receiver, frame.data(), static_cast<int>(frame.size()));
    return;
  }
  receiver.model.seconds = static_cast<uint32_t>(std::time(nullptr));
  uint8_t screen[161];
  RenderModelScreen(receiver.model, screen);
  SendFrameLocked(receiver, kScreenRequestType, screen, sizeof screen);
}

// Whether the recording's stream sent so far ends between two items, where a screen cuts
// nothing.
bool ReplayAtCleanPointLocked(const FakeReceiver& receiver) {
  if (!ReplayPendingLocked(receiver) || receiver.replayChunk == 0) return true;
  return receiver.script.replay->stream[receiver.replayChunk - 1].cleanEnd;
}

void SendReplayDueLocked(FakeReceiver& receiver) {
  while (ReplayPendingLocked(receiver) && ReplayDueAt(receiver) <= SimClock::now()) {
    const std::vector<uint8_t>& bytes = receiver.script.replay->stream[receiver.replayChunk].bytes;
    WriteAllLocked(receiver, bytes.data(), static_cast<int>(bytes.size()));
    ++receiver.replayChunk;
    if (receiver.screenOwed && ReplayAtCleanPointLocked(receiver)) {
      receiver.screenOwed = false;
      SendScreenNowLocked(receiver);
    }
  }
  if (receiver.replaying && !ReplayPendingLocked(receiver)) receiver.replayDone = true;
}

void SendScreenLocked(FakeReceiver& receiver) {
  if (ReplayAtCleanPointLocked(receiver)) {
    SendScreenNowLocked(receiver);
  } else {
    receiver.screenOwed = true;  // after the item under way, as a receiver sends it
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
    uint32_t speed = receiver.script.tcpPort > 0 ? 0 : PtyLineSpeed(receiver.pty);
    std::fprintf(receiver.script.traffic, "%02x %u %u\n", packet.type, packet.length, speed);
    std::fflush(receiver.script.traffic);
  }
  switch (packet.type) {
    case kIdentificationRequest:
      SendIdentificationLocked(receiver);
      break;
    case kKeyPacketType:
      if (packet.length == 1) OnKeyLocked(receiver, packet.data[0]);
      break;
    case kScreenRequestType:
      if (packet.length == 5 && receiver.script.answerScreens) SendScreenLocked(receiver);
      break;
    case kSlaveRequestType:
      ++receiver.model.slaveRequests;
      break;
  }
}

void OnContactLocked(FakeReceiver& receiver) {
  if (receiver.contact) return;
  receiver.contact = true;
  receiver.nextDataAt = SimClock::now();
  receiver.dataSecond = static_cast<uint32_t>(std::time(nullptr));
  if (receiver.script.releaseSlaveOnContact && receiver.pty.slaveHold >= 0) {
    close(receiver.pty.slaveHold);
    receiver.pty.slaveHold = -1;
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

int MillisecondsUntil(SimClock::time_point at) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(at - SimClock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

int MillisecondsUntilDue(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  int wait = -1;
  if (receiver.unaskedPending) wait = MillisecondsUntil(receiver.unaskedAt);
  if (DataDueLocked(receiver)) {
    int data = MillisecondsUntil(receiver.nextDataAt);
    wait = wait < 0 || data < wait ? data : wait;
  }
  if (ReplayPendingLocked(receiver)) {
    int due = MillisecondsUntil(ReplayDueAt(receiver));
    wait = wait < 0 || due < wait ? due : wait;
  }
  for (SimClock::time_point at :
       {receiver.pendingKeys.empty() ? SimClock::time_point::max()
                                     : receiver.pendingKeys.front().at,
        receiver.onTheLine.empty() ? SimClock::time_point::max() : receiver.onTheLine.front().at}) {
    if (at == SimClock::time_point::max()) continue;
    int due = MillisecondsUntil(at);
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
  auto period = std::chrono::duration<double>(1.0 / receiver.script.dataRate);
  receiver.nextDataAt += std::chrono::duration_cast<SimClock::duration>(period);
  if (receiver.nextDataAt < SimClock::now()) receiver.nextDataAt = SimClock::now();
}

void SendDueLocked(FakeReceiver& receiver) {
  if (receiver.script.replay != nullptr) SendReplayDueLocked(receiver);
  ApplyDueKeysLocked(receiver, false);
  DeliverDueLocked(receiver, false);
  if (receiver.unaskedPending && SimClock::now() >= receiver.unaskedAt) {
    receiver.unaskedPending = false;
    SendIdentificationLocked(receiver);
  }
  if (DataDueLocked(receiver) && SimClock::now() >= receiver.nextDataAt) SendDataLocked(receiver);
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

int MasterHandle(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  return receiver.pty.master;
}

// While the line is hung up the master is not watched: its hang-up would wake us at once.
int WatchedMaster(FakeReceiver& receiver) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  return receiver.lineHungUp ? -1 : receiver.pty.master;
}

bool OpenListener(FakeReceiver& receiver, int port) {
  receiver.listenHandle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (receiver.listenHandle < 0) {
    std::fprintf(stderr, "sim: socket failed: %s\n", std::strerror(errno));
    return false;
  }
  int yes = 1;
  setsockopt(receiver.listenHandle, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(receiver.listenHandle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(receiver.listenHandle, 1) != 0) {
    std::fprintf(stderr, "sim: cannot listen on 127.0.0.1:%d: %s\n", port, std::strerror(errno));
    close(receiver.listenHandle);
    receiver.listenHandle = -1;
    return false;
  }
  return true;
}

// Over TCP the line is the one connected client.
void AcceptClientLocked(FakeReceiver& receiver) {
  int client = accept4(receiver.listenHandle, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (client < 0) return;
  if (receiver.pty.master >= 0) {
    close(client);  // one panel at a time
    return;
  }
  receiver.pty.master = client;
}

void EndClientLocked(FakeReceiver& receiver) {
  close(receiver.pty.master);
  receiver.pty.master = -1;
  if (receiver.script.releaseSlaveOnContact) receiver.peerGone = true;
}

void ServeLine(FakeReceiver& receiver) {
  uint8_t chunk[512];
  while (!receiver.stopRequested) {
    // Only this thread closes the master, so the handle stays valid while it polls.
    int master = WatchedMaster(receiver);
    struct pollfd entries[3] = {{master, POLLIN, 0},
                                {static_cast<int>(receiver.wake.handle), POLLIN, 0},
                                {master < 0 ? receiver.listenHandle : -1, POLLIN, 0}};
    int ready = poll(entries, 3, MillisecondsUntilDue(receiver));
    if (ready < 0 && errno != EINTR) {
      std::fprintf(stderr, "sim: poll failed: %s\n", std::strerror(errno));
      return;
    }
    if (receiver.stopRequested) return;
    if (entries[1].revents & POLLIN) ClearWakeSignal(receiver.wake);
    std::lock_guard<std::mutex> hold(receiver.lock);
    if (receiver.hangUpRequested) {
      ClosePtyPair(receiver.pty);
      continue;
    }
    if (entries[2].revents & POLLIN) AcceptClientLocked(receiver);
    if (receiver.script.tcpPort > 0) {
      if (receiver.pty.master >= 0 && (entries[0].revents & (POLLIN | POLLHUP | POLLERR))) {
        ssize_t n = read(receiver.pty.master, chunk, sizeof chunk);
        if (n > 0) OnBytesLocked(receiver, chunk, static_cast<int>(n));
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) EndClientLocked(receiver);
      }
      SendDueLocked(receiver);
      continue;
    }
    bool hungUp = receiver.lineHungUp || (entries[0].revents & (POLLHUP | POLLERR)) != 0;
    if (receiver.pty.master >= 0 && (hungUp || (entries[0].revents & POLLIN))) {
      ssize_t n = read(receiver.pty.master, chunk, sizeof chunk);
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
  bool lineReady =
      script.tcpPort > 0 ? OpenListener(receiver, script.tcpPort) : OpenPtyPair(receiver.pty);
  if (lineReady && script.cookedLine && script.tcpPort == 0) lineReady = CookPtyLine(receiver.pty);
  if (!lineReady) return false;
  if (!OpenWakeSignal(receiver.wake)) {
    std::fprintf(stderr, "sim: eventfd failed: %s\n", std::strerror(errno));
    ClosePtyPair(receiver.pty);
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
  if (receiver.listenHandle >= 0) close(receiver.listenHandle);
  receiver.listenHandle = -1;
  ClosePtyPair(receiver.pty);
}

const char* FakeReceiverPath(const FakeReceiver& receiver) {
  return receiver.pty.slavePath;
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
  while (MasterHandle(receiver) >= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
  return PtyLineSpeed(receiver.pty);
}

void SetAnswerScreens(FakeReceiver& receiver, bool answer) {
  std::lock_guard<std::mutex> hold(receiver.lock);
  receiver.script.answerScreens = answer;
}
