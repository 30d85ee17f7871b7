#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "capture/dump_file.h"
#include "capture/nmea_ring.h"
#include "capture/port_wait.h"
#include "capture/shared_screen.h"
#include "link/link.h"

// Called on the worker's thread after each screen has been stored in the shared image.
// false: the notification could not be delivered, and the worker ends.
using ScreenNotify = bool (*)(void* context);

// What data capture keeps for the whole run, across connections.
struct Capture {
  NmeaRing nmea;
  LoggingSwitch logging;
  SharedScreen screen;
  std::string dumpDirectory;  // "" for the current directory
};

// The background thread that reads everything the receiver sends while connected.
struct ReceiveWorker {
  std::thread thread;
  WakeSignal wake;
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> ended{false};        // the thread has returned
  std::atomic<unsigned long> passes{0};  // passes of its loop, for the curious

  ReceiveWorker() = default;
  ReceiveWorker(const ReceiveWorker&) = delete;
  ReceiveWorker& operator=(const ReceiveWorker&) = delete;
  ~ReceiveWorker();
};

// Starts the worker on the open port of `link`. false when it could not be started
// (shown). A worker that is still running must be stopped first.
bool StartReceiveWorker(ReceiveWorker& worker, Link& link, Capture& capture, ScreenNotify notify,
                        void* context);

// Asks the worker to stop and waits until it has: it finishes the item in hand, never
// leaves a file write or a ring update half done, and then touches nothing shared.
void StopReceiveWorker(ReceiveWorker& worker);
