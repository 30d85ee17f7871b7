// SPDX-License-Identifier: BSD-2-Clause
#include "capture/receive_worker.h"

#include <errno.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/status_message.h"
#include "base/tick.h"
#include "base/trace.h"
#include "capture/dump_write.h"
#include "capture/thread_priority.h"
#include "link/packet_type.h"

namespace {

// The extractors take what was read 256 bytes at a time: the NMEA ring holds 1023, and a
// push that does not fit loses its tail. One read takes up to kReadSize at once, so that
// a burst costs one system call, not one per 256 bytes.
constexpr int kChunkSize = 256;
constexpr int kReadSize = 4096;
// What one wake-up brings is written per file with as few system calls as keep its items
// whole (WriteDumpItems): the items of up to this many full reads are gathered first.
constexpr int kReadsPerBatch = 4;
constexpr int kStageBytes = kReadsPerBatch * kReadSize + kMaxFrameLength;
constexpr int kStageItems = 512;
constexpr int kLineDownRetryMs = 200;
// Readable with nothing to read happens when another reader on the line (one that opened
// it before us, or root, whom the exclusive open does not stop) took the bytes first; only
// a device that keeps saying so, wake after wake, is taken as gone.
constexpr int kEmptyWakesForLineDown = 50;
constexpr int kSyncWaitMs = 1000;

struct WorkerContext {
  ReceiveWorker& worker;
  Link& link;
  Capture& capture;
  WorkerHooks hooks;
};

// One stream's items gathered for a single write, each whole, back to back.
struct StagedItems {
  uint8_t bytes[kStageBytes];
  uint16_t lengths[kStageItems];
  int used = 0;
  int count = 0;
};

// The worker's own state, on its stack: a fresh one for every worker.
struct WorkerLocal {
  uint8_t chunk[kChunkSize];
  uint8_t read[kReadSize];
  Packet packet;
  char sentence[kSentenceBufferSize];
  StagedItems staged[kDumpStreamCount];
  unsigned long droppedSeen[kSentenceDropReasons] = {};  // the ring's drop counts, as last seen
  std::string directory;  // the dump folder, copied at the start of each logging period
  unsigned directoryPeriod = 0;
};

DumpClock Now() {
  return DumpClock{TickCount(), std::time(nullptr)};
}

// The dump folder of the logging period under way: the owner may choose another while
// logging is off, so the worker works from a copy taken as each period begins.
const char* DumpFolder(WorkerContext& context, WorkerLocal& local) {
  unsigned state = context.capture.logging.state.load();
  if ((state & 1u) != 0 && state >> 1 != local.directoryPeriod) {
    std::lock_guard<std::mutex> hold(context.capture.dumpDirectoryLock);
    local.directory = context.capture.dumpDirectory;
    local.directoryPeriod = state >> 1;
  }
  return local.directory.c_str();
}

// Writes a stream's gathered items.
void WriteStaged(WorkerContext& context, WorkerLocal& local, int stream) {
  StagedItems& staged = local.staged[stream];
  if (staged.count == 0) return;
  WriteDumpItems(context.capture.logging, DumpFolder(context, local),
                 static_cast<DumpStreamId>(stream), staged.bytes, staged.lengths, staged.count,
                 context.capture.dumpSlots[stream], Now(), context.capture.dumpSplit);
  staged.used = 0;
  staged.count = 0;
}

void WriteAllStaged(WorkerContext& context, WorkerLocal& local) {
  for (int stream = 0; stream < kDumpStreamCount; ++stream) WriteStaged(context, local, stream);
}

// An item to log: gathered with the others of this wake-up, to be written together.
void Dump(WorkerContext& context, WorkerLocal& local, DumpStreamId stream, const uint8_t* bytes,
          int count) {
  if (!LoggingOn(context.capture.logging)) {
    CloseDump(context.capture.dumpSlots[stream]);
    return;
  }
  StagedItems& staged = local.staged[stream];
  if (staged.used + count > kStageBytes || staged.count == kStageItems)
    WriteStaged(context, local, stream);
  std::memcpy(staged.bytes + staged.used, bytes, static_cast<size_t>(count));
  staged.lengths[staged.count++] = static_cast<uint16_t>(count);
  staged.used += count;
}

// Hands what is a second old to the disk. True while some is still to go.
bool SyncDumps(WorkerContext& context, bool force) {
  bool pending = false;
  DumpClock now = Now();
  for (DumpSlot& slot : context.capture.dumpSlots) pending |= SyncDump(slot, now, force);
  return pending;
}

// All complete packets, in order. false when a screen could not be handed on.
bool RoutePackets(WorkerContext& context, WorkerLocal& local) {
  Packet& packet = local.packet;
  int pulled;
  while ((pulled = PullPacket(context.link.rx, context.link.linkState, packet)) != -1) {
    if (pulled != 0) continue;  // an ACK: the record still holds the previous packet
    if (context.hooks.item != nullptr) {
      context.hooks.item(context.hooks.context, packet.raw, packet.length + kFrameOverhead, false);
    }
    if (packet.type == TypeByte(PacketType::kScreen)) {
      StoreScreen(context.capture.screen, packet.data, packet.length);
      if (context.hooks.screen != nullptr && !context.hooks.screen(context.hooks.context)) {
        return false;
      }
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

// Sentences the ring dropped since the last look count while logging is on: data that the
// log does not hold.
void CountDroppedSentences(WorkerContext& context, WorkerLocal& local) {
  const NmeaRing& nmea = context.capture.nmea;
  bool logging = LoggingOn(context.capture.logging) != 0;
  for (int why = 0; why < kSentenceDropReasons; ++why) {
    unsigned long now = nmea.dropped[why];
    if (logging && now != local.droppedSeen[why])
      context.capture.sentencesDropped[why] += now - local.droppedSeen[why];
    local.droppedSeen[why] = now;
  }
}

void LogSentences(WorkerContext& context, WorkerLocal& local) {
  while (PullSentence(context.capture.nmea, local.sentence) == 1) {
    ApplyToSharedFix(context.capture.fix, local.sentence, TickCount());
    int length = static_cast<int>(std::strlen(local.sentence));
    if (context.hooks.item != nullptr) {
      context.hooks.item(context.hooks.context, reinterpret_cast<const uint8_t*>(local.sentence),
                         length, true);
    }
    Dump(context, local, kNmeaStream, reinterpret_cast<const uint8_t*>(local.sentence), length);
  }
  CountDroppedSentences(context, local);
}

// One pass: the same chunk to both extractors, every packet, then every sentence.
// false when the worker must end.
bool RunPass(WorkerContext& context, WorkerLocal& local, const uint8_t* chunk, int count) {
  PushReceived(context.link.rx, chunk, count);
  PushNmea(context.capture.nmea, chunk, count);
  if (!RoutePackets(context, local)) return false;
  LogSentences(context, local);
  return true;
}

// What one read brought, to the extractors a chunk at a time.
bool HandleRead(WorkerContext& context, WorkerLocal& local, int count) {
  for (int at = 0; at < count; at += kChunkSize) {
    int chunk = count - at < kChunkSize ? count - at : kChunkSize;
    if (!RunPass(context, local, local.read + at, chunk)) return false;
  }
  return true;
}

// The prelude's identification read ahead into the packet ring only: what came behind
// its reply is the receiver's data and goes to the sentences as well.
void ShareLeftoverWithSentences(WorkerContext& context, WorkerLocal& local) {
  const RxRing& rx = context.link.rx;
  int left = RingFill(rx);
  for (int at = 0; at < left;) {
    int count = left - at < kChunkSize ? left - at : kChunkSize;
    for (int i = 0; i < count; ++i) local.chunk[i] = RingAt(rx, at + i);
    PushNmea(context.capture.nmea, local.chunk, count);
    at += count;
  }
}

// As WaitForInput; while the device is gone, it looks again every so often instead of
// spinning on its hang-up. With items not yet on the disk it waits a second at most,
// so that they reach it when the line falls quiet too.
int WaitForMore(Port& port, bool lineDown, bool syncPending) {
  if (!lineDown) return WaitForInput(port, syncPending ? kSyncWaitMs : -1, false);
  return PauseUnlessStopped(port.stop, kLineDownRetryMs) ? 0 : -2;
}

// A read that filled the buffer left more behind: that is read too (reads never wait), up
// to kReadsPerBatch in all, and then everything it brought is written.
bool ReadOn(WorkerContext& context, WorkerLocal& local, int count) {
  bool running = true;
  for (int reads = 1; running && count == kReadSize && reads < kReadsPerBatch; ++reads) {
    count = ReadPort(context.link.port, local.read, kReadSize);
    if (count <= 0) break;  // a failure is seen by the next wait
    context.capture.lastByteTick = TickCount();
    running = HandleRead(context, local, count);
  }
  WriteAllStaged(context, local);
  return running;
}

// Reads until told to stop.
void ReadUntilStopped(WorkerContext& context, WorkerLocal& local) {
  ReceiveWorker& worker = context.worker;
  Port& port = context.link.port;
  bool running = RunPass(context, local, local.chunk, 0);
  WriteAllStaged(context, local);
  bool lineDown = false;
  bool syncPending = false;
  int emptyWakes = 0;
  while (running && !StopRaised(&worker.stop)) {
    worker.busy = false;
    int waited = WaitForMore(port, lineDown, syncPending);
    if (waited == -2) break;
    worker.busySince = TickCount();  // before busy: a reader never sees an older start
    worker.busy = true;
    ++worker.passes;
    if (waited == 0 && !lineDown) {  // quiet for a second: what waits goes to the disk
      syncPending = SyncDumps(context, true);
      continue;
    }
    int count = ReadPort(port, local.read, kReadSize);
    if (count > 0) {
      lineDown = false;
      emptyWakes = 0;
      context.capture.lastByteTick = TickCount();
      context.capture.anyByte = true;
      running = HandleRead(context, local, count);
      running = ReadOn(context, local, running ? count : 0) && running;
      syncPending = SyncDumps(context, false);
      continue;
    }
    // A hang-up, a failed read, or a device readable again and again with nothing to
    // read: it has gone away.
    bool emptyAgain = waited == 1 && ++emptyWakes >= kEmptyWakesForLineDown;
    if (lineDown || waited < 0 || port.readFailing || emptyAgain) {
      NoteReadFailure(port);
      if (!lineDown && context.hooks.lineDown != nullptr) {
        context.hooks.lineDown(context.hooks.context);
      }
      lineDown = true;
    }
  }
}

void RunWorker(WorkerContext context) {
  LowerThreadPriority();
  bool hasPrelude = context.hooks.prelude != nullptr;
  if (!hasPrelude || context.hooks.prelude(context.hooks.context)) {
    WorkerLocal local;
    for (int why = 0; why < kSentenceDropReasons; ++why)
      local.droppedSeen[why] = context.capture.nmea.dropped[why];
    if (hasPrelude) ShareLeftoverWithSentences(context, local);
    ReadUntilStopped(context, local);
  }
  for (DumpSlot& slot : context.capture.dumpSlots) CloseDump(slot);
  context.worker.busy = false;
  context.worker.ended = true;
}

}  // namespace

ReceiveWorker::~ReceiveWorker() {
  StopReceiveWorker(*this);
}

bool StartReceiveWorker(ReceiveWorker& worker, Link& link, Capture& capture,
                        const WorkerHooks& hooks) {
  if (worker.thread.joinable()) StopReceiveWorker(worker);
  if (!OpenStopSignal(worker.stop)) {
    char text[200];
    std::snprintf(text, sizeof text, "Could not start the receive worker: %s",
                  std::strerror(errno));
    ShowStatusFailure(text);
    return false;
  }
  worker.ended = false;
  worker.passes = 0;
  worker.port = &link.port;
  link.port.stop = &worker.stop;
  worker.thread = std::thread(RunWorker, WorkerContext{worker, link, capture, hooks});
  return true;
}

void StopReceiveWorker(ReceiveWorker& worker) {
  if (!worker.thread.joinable()) return;
  RaiseStopSignal(worker.stop);
  worker.thread.join();
  worker.port->stop = nullptr;
  worker.port = nullptr;
  CloseStopSignal(worker.stop);
}
