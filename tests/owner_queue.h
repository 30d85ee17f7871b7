// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// A connection's owner as a test plays it: the worker's hooks fill a queue that the test
// waits on, as a front end's event loop would take their news.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "connection/connection.h"

struct OwnerQueue {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<ConnectReport> reports;
  int lineDowns = 0;
  int screens = 0;

  // Hands the connection's hooks to this queue.
  void Attach(Connection& connection) {
    connection.hooks.context = this;
    connection.hooks.connectDone = [](void* context, const ConnectReport& report) {
      static_cast<OwnerQueue*>(context)->Add([&](OwnerQueue& q) { q.reports.push_back(report); });
    };
    connection.hooks.screen = [](void* context, unsigned) {
      static_cast<OwnerQueue*>(context)->Add([](OwnerQueue& q) { ++q.screens; });
      return true;
    };
    connection.hooks.lineDown = [](void* context, unsigned) {
      static_cast<OwnerQueue*>(context)->Add([](OwnerQueue& q) { ++q.lineDowns; });
    };
  }
  template <typename Change>
  void Add(Change change) {
    std::lock_guard<std::mutex> hold(lock);
    change(*this);
    changed.notify_all();
  }
  // Waits up to limitMs for `ready` to hold of the queue, and holds the lock while `take`
  // takes from it; false when it did not come.
  template <typename Ready, typename Take>
  bool Await(int limitMs, Ready ready, Take take) {
    std::unique_lock<std::mutex> hold(lock);
    if (!changed.wait_for(hold, std::chrono::milliseconds(limitMs), [&] { return ready(*this); }))
      return false;
    take(*this);
    return true;
  }
  // The next connect's report, the oldest first.
  bool NextReport(ConnectReport& report, int limitMs) {
    return Await(
        limitMs, [](OwnerQueue& q) { return !q.reports.empty(); },
        [&](OwnerQueue& q) {
          report = q.reports.front();
          q.reports.erase(q.reports.begin());
        });
  }
  // Whether the line went down, or a screen came, since last asked.
  bool TakeLineDown(int limitMs) {
    return Await(limitMs, [](OwnerQueue& q) { return q.lineDowns > 0; },
                 [](OwnerQueue& q) { q.lineDowns = 0; });
  }
  bool TakeScreen(int limitMs) {
    return Await(limitMs, [](OwnerQueue& q) { return q.screens > 0; },
                 [](OwnerQueue& q) { q.screens = 0; });
  }
};
