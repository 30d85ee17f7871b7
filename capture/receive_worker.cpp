#include "capture/receive_worker.h"

#include <errno.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "link/status_message.h"
#include "link/trace.h"

namespace {

constexpr int kChunkSize = 256;
constexpr int kLineDownRetryMs = 200;
constexpr int kBelowNormal = 2;  // nice steps below the user interface

struct WorkerContext {
  ReceiveWorker& worker;
  Link& link;
  Capture& capture;
  ScreenNotify notify;
  void* notifyContext;
};

// The worker's own state, on its stack: a fresh one for every worker.
struct WorkerLocal {
  uint8_t chunk[kChunkSize];
  Packet packet;
  char sentence[kSentenceBufferSize];
  DumpSlot slots[kDumpStreamCount];
};

void LowerOwnPriority() {
  int tid = static_cast<int>(gettid());
  errno = 0;
  int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (errno == 0) nice = nice + kBelowNormal > 19 ? 19 : nice + kBelowNormal;
  if (errno != 0 || setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0) {
    Trace("lowering the receive worker's priority failed: %s", std::strerror(errno));
  }
}

void Dump(WorkerContext& context, WorkerLocal& local, DumpStreamId stream, const uint8_t* bytes,
          int count) {
  WriteDump(context.capture.logging, context.capture.dumpDirectory.c_str(), stream, bytes, count,
            local.slots[stream]);
}

// All complete packets, in order. false when a screen could not be handed on.
bool RoutePackets(WorkerContext& context, WorkerLocal& local) {
  Packet& packet = local.packet;
  int pulled;
  while ((pulled = PullPacket(context.link.rx, context.link.linkState, packet)) != -1) {
    if (pulled != 0) continue;  // an ACK: the record still holds the previous packet
    if (packet.type == kScreenPacketType) {
      StoreScreen(context.capture.screen, packet.data, packet.length);
      if (!context.notify(context.notifyContext)) return false;
      continue;
    }
    int stream = DumpStreamForPacketType(packet.type);
    if (stream >= 0) {
      Dump(context, local, static_cast<DumpStreamId>(stream), packet.raw,
           packet.length + kFrameOverhead);
    }
  }
  return true;
}

void LogSentences(WorkerContext& context, WorkerLocal& local) {
  while (PullSentence(context.capture.nmea, local.sentence) == 1) {
    Dump(context, local, kNmeaStream, reinterpret_cast<const uint8_t*>(local.sentence),
         static_cast<int>(std::strlen(local.sentence)));
  }
}

// One pass: a read that does not wait, the same chunk to both extractors, every packet,
// then every sentence. false when the worker must end.
bool RunPass(WorkerContext& context, WorkerLocal& local, int count) {
  PushReceived(context.link.rx, local.chunk, count);
  PushNmea(context.capture.nmea, local.chunk, count);
  if (!RoutePackets(context, local)) return false;
  LogSentences(context, local);
  return true;
}

void RunWorker(WorkerContext context) {
  LowerOwnPriority();
  WorkerLocal local;
  ReceiveWorker& worker = context.worker;
  bool lineDown = false;
  // Whatever the identification left in the rings comes first.
  bool running = RunPass(context, local, 0);
  while (running && !worker.stopRequested) {
    // While the device is gone, retry now and then instead of spinning on its hang-up.
    int events = WaitForPortOrWake(context.link.port, worker.wake, !lineDown,
                                   lineDown ? kLineDownRetryMs : -1);
    if (worker.stopRequested) break;
    ++worker.passes;
    int count = ReadPort(context.link.port, local.chunk, kChunkSize);
    if (count == 0) {
      // Readable yet nothing to read: the device has gone away.
      if (lineDown || (events & (kPortReadable | kPortDown)) != 0) {
        NoteReadFailure(context.link.port);
        lineDown = true;
      }
      continue;
    }
    lineDown = false;
    running = RunPass(context, local, count);
  }
  for (DumpSlot& slot : local.slots) CloseDump(slot);
  worker.ended = true;
}

}  // namespace

ReceiveWorker::~ReceiveWorker() {
  StopReceiveWorker(*this);
}

bool StartReceiveWorker(ReceiveWorker& worker, Link& link, Capture& capture, ScreenNotify notify,
                        void* context) {
  if (worker.thread.joinable()) StopReceiveWorker(worker);
  if (!OpenWakeSignal(worker.wake)) {
    char text[200];
    std::snprintf(text, sizeof text, "Could not start the receive worker: eventfd failed: %s",
                  std::strerror(errno));
    ShowStatusMessage(text);
    return false;
  }
  worker.stopRequested = false;
  worker.ended = false;
  worker.passes = 0;
  worker.thread = std::thread(RunWorker, WorkerContext{worker, link, capture, notify, context});
  return true;
}

void StopReceiveWorker(ReceiveWorker& worker) {
  if (!worker.thread.joinable()) return;
  worker.stopRequested = true;
  RaiseWakeSignal(worker.wake);
  worker.thread.join();
  CloseWakeSignal(worker.wake);
}
