// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// A connection owned by a test: the owner's side is a queue that the worker's hooks fill,
// as a front end's event loop would.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "base/tick.h"
#include "connection/connection.h"
#include "sim/fake_receiver.h"
#include "tests/receiver_script.h"
#include "tests/status_capture.h"

struct OwnerQueue {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<ConnectReport> reports;
  std::vector<unsigned> lineDowns;
  int screens = 0;
};

inline void OnConnectDone(void* context, const ConnectReport& report) {
  auto* queue = static_cast<OwnerQueue*>(context);
  std::lock_guard<std::mutex> hold(queue->lock);
  queue->reports.push_back(report);
  queue->changed.notify_all();
}

inline bool OnScreen(void* context, unsigned) {
  auto* queue = static_cast<OwnerQueue*>(context);
  std::lock_guard<std::mutex> hold(queue->lock);
  ++queue->screens;
  queue->changed.notify_all();
  return true;
}

inline void OnLineDown(void* context, unsigned attempt) {
  auto* queue = static_cast<OwnerQueue*>(context);
  std::lock_guard<std::mutex> hold(queue->lock);
  queue->lineDowns.push_back(attempt);
  queue->changed.notify_all();
}

struct ConnectionTest : ::testing::Test {
  StatusCapture status;
  OwnerQueue queue;
  std::unique_ptr<Connection> connection = std::make_unique<Connection>();

  void SetUp() override {
    connection->hooks.context = &queue;
    connection->hooks.connectDone = OnConnectDone;
    connection->hooks.screen = OnScreen;
    connection->hooks.lineDown = OnLineDown;
  }
  void TearDown() override { connection.reset(); }  // before the receivers go
  // The next report, handed to FinishConnect as the owner would.
  int AwaitOutcome() { return AwaitOutcomeAt(0, true); }
  int AwaitOutcomeAt(Tick now, bool realTime = false) {
    const int limitMs = 6000;
    std::unique_lock<std::mutex> hold(queue.lock);
    if (!queue.changed.wait_for(hold, std::chrono::milliseconds(limitMs),
                                [&] { return !queue.reports.empty(); })) {
      return -1;
    }
    ConnectReport report = queue.reports.front();
    queue.reports.erase(queue.reports.begin());
    hold.unlock();
    return FinishConnect(*connection, report, realTime ? TickCount() : now);
  }
  bool AwaitLineDown() {
    std::unique_lock<std::mutex> hold(queue.lock);
    return queue.changed.wait_for(hold, std::chrono::milliseconds(3000),
                                  [&] { return !queue.lineDowns.empty(); });
  }
  int Connect(FakeReceiver& receiver) {
    BeginConnect(*connection, FakeReceiverPath(receiver), TickCount());
    return AwaitOutcome();
  }
};
