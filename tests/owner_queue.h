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
  // The next connect's report, the oldest first; false when none came within limitMs.
  bool NextReport(ConnectReport& report, int limitMs) {
    std::unique_lock<std::mutex> hold(lock);
    if (!changed.wait_for(hold, std::chrono::milliseconds(limitMs),
                          [&] { return !reports.empty(); }))
      return false;
    report = reports.front();
    reports.erase(reports.begin());
    return true;
  }
  // Whether the line went down, or a screen came, since last asked (waiting up to limitMs).
  bool TakeLineDown(int limitMs) { return Take(&OwnerQueue::lineDowns, limitMs); }
  bool TakeScreen(int limitMs) { return Take(&OwnerQueue::screens, limitMs); }
  bool Take(int OwnerQueue::*count, int limitMs) {
    std::unique_lock<std::mutex> hold(lock);
    bool came = changed.wait_for(hold, std::chrono::milliseconds(limitMs),
                                 [&] { return this->*count > 0; });
    this->*count = 0;
    return came;
  }
};
