#include <cstring>

#include "link/identification.h"
#include "link/link.h"
#include "link/status_message.h"

namespace {

constexpr double kProbeSeconds = 0.1;
constexpr double kReplySeconds = 3.0;
constexpr int kChunkSize = 256;

// ENQ; a receiver that answers ACK gets the request, any other gets a break and is
// expected to send its identification by itself.
void ProbeReceiver(Link& link) {
  Packet probe;
  SendEnq(link);
  if (ReceiveFrame(link, probe, kProbeSeconds) == -2) {
    SendPacket(link, kIdentificationRequest, nullptr, 0);
  } else {
    SendBreak(link.port);
  }
}

// Packets of other types that come first are dropped. Bytes behind the reply stay in
// the ring for the receive worker.
bool AwaitReply(Link& link, Packet& reply) {
  SetDeadline(link.deadline, kReplySeconds);
  uint8_t chunk[kChunkSize];
  int pulled = -1;
  for (;;) {
    if (pulled == -1) {
      int left = DeadlineRemainingMs(link.deadline);
      WaitForInput(link.port, left > 0 ? left : 1);
    }
    int count = ReadPort(link.port, chunk, kChunkSize);
    PushReceived(link.rx, chunk, count);
    pulled = PullPacket(link.rx, link.linkState, reply);
    if (pulled == 0 && reply.type == kIdentificationReply) return true;
    if (DeadlinePassed(link.deadline) != 0) return false;
  }
}

int ApplyIdentification(Link& link, const char* text) {
  char product[kProductSize];
  if (!ScanProduct(text, product)) return 0;
  link.qz77Class = IsQz77Product(product) ? 1 : 0;
  const char* portRecord = std::strstr(text, ";PORT");
  if (portRecord == nullptr) {
    ShowStatusMessage("Could not synchronize baud/parity settings.");
    return 0;
  }
  PortRecord port;
  if (!ScanPortRecord(portRecord, port)) return 0;
  link.receiverPortNumber = static_cast<uint32_t>(port.portNumber + 1);
  uint32_t baud = NormaliseBaud(static_cast<uint32_t>(port.baud));
  if (SetLineSettings(link.port, baud, ParityFromLetter(port.parityLetter)) != 0) return 0;
  const char* versionRecord = std::strstr(text, ";VERSION");
  if (versionRecord == nullptr) {
    link.twoLineCapable = 0;  // nothing says this receiver has the two-line display
    return 1;
  }
  float version = 0;
  if (!ScanVersion(versionRecord, version)) return 0;
  link.twoLineCapable = IsTwoLineCapable(product, version) ? 1 : 0;
  return 1;
}

}  // namespace

int IdentifyReceiver(Link& link, const char* portPath) {
  if (OpenPort(link.port, portPath) != 0) return 0;
  ShowStatusMessage("Checking for GPS receiver...");
  FlushInput(link.port);
  ProbeReceiver(link);
  Packet reply;
  if (!AwaitReply(link, reply)) {
    ShowStatusMessage("Could not identify receiver.");
    return 0;
  }
  reply.data[reply.length] = 0;
  const char* text = reinterpret_cast<const char*>(reply.data);
  ShowStatusMessage(text);
  return ApplyIdentification(link, text);
}
