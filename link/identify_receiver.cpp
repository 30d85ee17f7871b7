// SPDX-License-Identifier: BSD-2-Clause
#include <cstring>

#include "base/status_message.h"
#include "link/identification.h"
#include "link/link.h"

namespace {

constexpr double kProbeSeconds = 0.1;
constexpr double kProbeLimitSeconds = 1.0;  // the whole probe, on a line that never pauses
constexpr double kReplySeconds = 3.0;
constexpr int kChunkSize = 256;

// Reads into the ring until a frame or an ACK that counts is there, or the line has
// been quiet for kProbeSeconds, or kProbeLimitSeconds have passed in all (a line that
// never pauses). As PullPacket: 0 a frame, -2 an ACK, -1 nothing (or a stop request).
int AwaitProbeAnswer(Link& link, Packet& answer) {
  Deadline whole;
  SetDeadline(whole, kProbeLimitSeconds);
  SetDeadline(link.deadline, kProbeSeconds);
  uint8_t chunk[kChunkSize];
  for (;;) {
    int pulled = PullPacket(link.rx, link.linkState, answer);
    if (pulled != -1) return pulled;
    if (DeadlinePassed(link.deadline) || DeadlinePassed(whole)) return -1;
    int left = DeadlineRemainingMs(link.deadline);
    if (WaitForInput(link.port, left > 0 ? left : 1) == -2) return -1;
    int count = ReadPort(link.port, chunk, kChunkSize);
    if (count > 0) SetDeadline(link.deadline, kProbeSeconds);  // the quiet starts again
    PushReceived(link.rx, chunk, count);
  }
}

// ENQ; a receiver that answers ACK gets the request, any other gets a break and is
// expected to send its identification by itself. true when the identification itself
// came during the probe: it is in `reply`, and there is nothing to ask for. What came
// behind the answer stays in the ring.
bool ProbeReceiver(Link& link, Packet& reply) {
  SendEnq(link);
  int probed = AwaitProbeAnswer(link, reply);
  if (probed == 0 && reply.type == kIdentificationReply) return true;
  if (PortStopped(link.port)) return false;
  if (probed == -2) {
    SendPacket(link, kIdentificationRequest, nullptr, 0);
  } else {
    SendBreak(link.port);
  }
  return false;
}

// What is in the ring is looked at before waiting for more. Packets of other types that
// come first are dropped; bytes behind the reply stay in the ring for the receive worker.
bool AwaitReply(Link& link, Packet& reply) {
  SetDeadline(link.deadline, kReplySeconds);
  uint8_t chunk[kChunkSize];
  for (;;) {
    int count = ReadPort(link.port, chunk, kChunkSize);
    PushReceived(link.rx, chunk, count);
    int pulled = PullPacket(link.rx, link.linkState, reply);
    if (pulled == 0 && reply.type == kIdentificationReply) return true;
    if (DeadlinePassed(link.deadline) || PortStopped(link.port)) return false;
    if (pulled == -1 && count == 0) {
      int left = DeadlineRemainingMs(link.deadline);
      if (WaitForInput(link.port, left > 0 ? left : 1) == -2) return false;
    }
  }
}

int ApplyIdentification(Link& link, const char* text) {
  char product[kProductSize];
  if (!ScanProduct(text, product)) return 0;
  link.qz77Class = IsQz77Product(product);
  const char* portRecord = std::strstr(text, ";PORT");
  if (portRecord == nullptr) {
    ShowStatusFailure("Could not synchronize baud/parity settings.");
    return 0;
  }
  PortRecord port;
  if (!ScanPortRecord(portRecord, port)) return 0;
  link.receiverPortNumber = static_cast<uint32_t>(port.portNumber + 1);
  uint32_t baud = NormaliseBaud(static_cast<uint32_t>(port.baud));
  if (SetLineSettings(link.port, baud, ParityFromLetter(port.parityLetter)) != 0) return 0;
  const char* versionRecord = std::strstr(text, ";VERSION");
  if (versionRecord == nullptr) {
    link.twoLineCapable = false;  // nothing says this receiver has the two-line display
    return 1;
  }
  float version = 0;
  if (!ScanVersion(versionRecord, version)) return 0;
  link.twoLineCapable = IsTwoLineCapable(product, version);
  return 1;
}

}  // namespace

void ResetReceiveSide(Link& link) {
  link.rx.read = 0;
  link.rx.write = 0;
  link.linkState = kNothingReceived;
}

int IdentifyReceiver(Link& link, const char* portPath) {
  ResetReceiveSide(link);
  link.identification[0] = '\0';
  link.identificationFrameLength = 0;
  if (OpenPort(link.port, portPath) != 0) return 0;
  ShowStatusMessage("Checking for GPS receiver...");
  FlushInput(link.port);
  Packet reply;
  bool replied = ProbeReceiver(link, reply) || AwaitReply(link, reply);
  if (PortStopped(link.port)) return 0;
  if (!replied) {
    ShowStatusFailure("Could not identify receiver.");
    return 0;
  }
  reply.data[reply.length] = 0;
  const char* text = reinterpret_cast<const char*>(reply.data);
  static_assert(sizeof link.identification > kMaxDataLength, "room for the longest reply");
  std::memcpy(link.identification, reply.data, static_cast<size_t>(reply.length) + 1);
  link.identificationFrameLength = reply.length + kFrameOverhead;
  std::memcpy(link.identificationFrame, reply.raw,
              static_cast<size_t>(reply.length) + kFrameOverhead);
  ShowStatusDetail(text);  // the whole text for the record; front ends word it their way
  return ApplyIdentification(link, text);
}
