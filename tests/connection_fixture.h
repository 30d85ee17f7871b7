// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// A connection owned by a test: the owner's side is a queue that the worker's hooks fill,
// as a front end's event loop would.

#include <gtest/gtest.h>

#include <memory>

#include "base/tick.h"
#include "connection/connection.h"
#include "sim/fake_receiver.h"
#include "tests/owner_queue.h"
#include "tests/receiver_script.h"
#include "tests/status_capture.h"

struct ConnectionTest : ::testing::Test {
  StatusCapture status;
  OwnerQueue queue;
  std::unique_ptr<Connection> connection = std::make_unique<Connection>();

  void SetUp() override { queue.Attach(*connection); }
  void TearDown() override { connection.reset(); }  // before the receivers go
  // The next report, handed to FinishConnect as the owner would.
  int AwaitOutcome() { return AwaitOutcomeAt(0, true); }
  int AwaitOutcomeAt(Tick now, bool realTime = false) {
    ConnectReport report;
    if (!queue.NextReport(report, 6000)) return -1;
    return FinishConnect(*connection, report, realTime ? TickCount() : now);
  }
  bool AwaitLineDown() { return queue.TakeLineDown(3000); }
  int Connect(FakeReceiver& receiver) {
    BeginConnect(*connection, FakeReceiverPath(receiver), TickCount());
    return AwaitOutcome();
  }
};
