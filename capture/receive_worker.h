// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "base/wake_signal.h"
#include "capture/dump_file.h"
#include "capture/dump_slot.h"
#include "capture/dump_streams.h"
#include "capture/logging_switch.h"
#include "capture/nmea_ring.h"
#include "capture/shared_fix.h"
#include "capture/shared_screen.h"
#include "link/link.h"

// What the worker tells its owner. Every hook runs on the worker's thread and should only
// hand the news on to the owner's thread. Any of them may be null.
struct WorkerHooks {
  void* context = nullptr;
  // Runs first (to identify the receiver, say); false ends the worker before it reads.
  bool (*prelude)(void* context) = nullptr;
  // After each screen has been stored in the shared image. false: it could not be handed
  // on, and the worker ends.
  bool (*screen)(void* context) = nullptr;
  // Once for each outage of the device (a hang-up, a read failure) while it reads.
  void (*lineDown)(void* context) = nullptr;
  // Each item received, whole, in the order it was cut out: every valid frame (screens
  // included) as the receiver sent it, and every accepted sentence, '$' through its LF.
  // It must not wait: the worker is not held up for those who look on.
  void (*item)(void* context, const uint8_t* bytes, int count, bool sentence) = nullptr;
};

// What data capture keeps for the whole run, across connections.
struct Capture {
  Capture() {
    for (DumpSlot& slot : dumpSlots) slot.writtenPeriods = &writtenPeriods;
  }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  NmeaRing nmea;
  LoggingSwitch logging;
  SharedScreen screen;
  SharedFix fix;                         // from every valid sentence, logged or not
  DumpSlot dumpSlots[kDumpStreamCount];  // the running worker's alone; kept between workers
  WrittenPeriods writtenPeriods;         // the split files' hours or days this run wrote
  // Sentences dropped while logging (no checksum, a wrong one, too long), by reason: what
  // the receiver sent that could not be logged, said with the logging counts.
  std::atomic<unsigned long> sentencesDropped[kSentenceDropReasons] = {};
  // Where the dump files go ("" for the current directory): the owner sets it with
  // SetDumpDirectory while logging is off, and the worker takes a copy of its own at the
  // start of each logging period, both under the lock.
  std::string dumpDirectory;
  std::mutex dumpDirectoryLock;
  int dumpSplit = kNoSplit;           // files by the hour or the day; set before the worker starts
  std::atomic<Tick> lastByteTick{0};  // TickCount of the last byte read; valid once
  std::atomic<bool> anyByte{false};   // anyByte is set
};

inline void SetDumpDirectory(Capture& capture, const std::string& directory) {
  std::lock_guard<std::mutex> hold(capture.dumpDirectoryLock);
  capture.dumpDirectory = directory;
}

// The sentences dropped while logging, whatever the reason.
inline unsigned long SentencesDropped(const Capture& capture) {
  unsigned long all = 0;
  for (const auto& dropped : capture.sentencesDropped) all += dropped;
  return all;
}

// What a stream has logged and lost, for anyone to read while the worker runs.
inline const DumpCount& DumpCountOf(const Capture& capture, int stream) {
  return capture.dumpSlots[stream].count;
}

// The background thread that reads everything the receiver sends while connected.
struct ReceiveWorker {
  std::thread thread;
  StopSignal stop;  // every wait on the port watches it while the worker runs
  Port* port = nullptr;
  std::atomic<bool> ended{false};        // the thread has returned
  std::atomic<unsigned long> passes{0};  // passes of its loop, for the curious
  // Busy with what one read brought (not waiting for the receiver) since busySince: a
  // watchdog tells a worker hung in a write from one that waits for a silent line.
  std::atomic<bool> busy{false};
  std::atomic<Tick> busySince{0};

  ReceiveWorker() = default;
  ReceiveWorker(const ReceiveWorker&) = delete;
  ReceiveWorker& operator=(const ReceiveWorker&) = delete;
  ~ReceiveWorker();
};

// Starts the worker on the port of `link` (opened by now, or by the prelude). false when
// it could not be started (shown). A worker that is still running is stopped first.
bool StartReceiveWorker(ReceiveWorker& worker, Link& link, Capture& capture,
                        const WorkerHooks& hooks);

// Asks the worker to stop and waits until it has: it finishes the item in hand, never
// leaves a file write or a ring update half done, closes its files and then touches
// nothing shared. Any wait on the port, in the prelude too, ends at once.
void StopReceiveWorker(ReceiveWorker& worker);
