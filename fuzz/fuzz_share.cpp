// SPDX-License-Identifier: BSD-2-Clause
// The shared receiver's hub fed whatever clients on the network might send, in reads of
// any size, from a client that may press keys and one that may only watch, with the
// receiver's items and the time going on between: what it passes to the receiver is
// whole, valid frames only, a watcher gets nothing but screen requests through, and
// nothing it queues for a client outgrows its queue.
#include <cassert>
#include <cstdint>
#include <memory>

#include "link/packet.h"
#include "link/packet_type.h"
#include "share/share_hub.h"

namespace {

// Each frame in `bytes` valid and whole; whether any is not a screen request.
bool WholeFrames(const uint8_t* bytes, int count, bool& commands) {
  for (int at = 0; at < count;) {
    if (count - at < kFrameOverhead || bytes[at] != kStx) return false;
    int size = bytes[at + 3] + kFrameOverhead;
    if (at + size > count || CheckFrame(bytes + at) != kFrameValid) return false;
    commands = commands || bytes[at + 2] != TypeByte(PacketType::kScreen);
    at += size;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto hub = std::make_unique<ShareHub>();
  const uint8_t identification[] = {kStx, 0, 0x6E, 1, 'X', 0x6F, kEtx};
  ShareReceiverUp(*hub, identification, sizeof identification, 900);
  int control = AttachClient(*hub, ClientRole::kControl, "127.0.0.1:1");
  int watcher = AttachClient(*hub, ClientRole::kWatch, "10.0.0.1:2");
  Tick now = 1000;
  static uint8_t out[kClientQueueBytes];
  uint8_t toReceiver[kToReceiverBytes];
  for (size_t at = 0; at + 1 < size;) {
    uint8_t how = data[at++];
    size_t chunk = std::min<size_t>(1 + how % 32 * 8, size - at);
    int n = static_cast<int>(chunk);
    switch (how >> 6) {
      case 0:
        TakeClientBytes(*hub, control, data + at, n, now);
        break;
      case 1: {
        TakeClientBytes(*hub, watcher, data + at, n, now);
        bool commands = false;
        int taken = TakeForReceiver(*hub, toReceiver);
        assert(WholeFrames(toReceiver, taken, commands) && !commands);
        break;
      }
      case 2:
        ShareItem(*hub, data + at, n, (how & 1) != 0, now);
        break;
      default:
        now += how % 7 * 300;
        ShareTick(*hub, now);
        if ((how & 1) != 0) ShareReceiverDown(*hub);
        break;
    }
    bool commands = false;
    int taken = TakeForReceiver(*hub, toReceiver);
    assert(WholeFrames(toReceiver, taken, commands));
    for (int client : {control, watcher}) {
      int waiting = 0;
      ClientOverflowed(*hub, client, waiting);
      assert(waiting >= 0 && waiting <= kClientQueueBytes);
      if (how % 3 == 0) SentToClient(*hub, client, PeekForClient(*hub, client, out, sizeof out));
    }
    at += chunk;
  }
  return 0;
}
