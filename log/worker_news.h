// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <mutex>
#include <vector>

#include "base/wake_signal.h"
#include "connection/connection.h"

// News from the worker's thread (a connect's outcome, a line gone down), queued for the
// main thread and woken by the wake signal, which lives as long as the queue.
struct WorkerNews {
  std::mutex lock;
  std::vector<ConnectReport> reports;
  std::vector<unsigned> lineDowns;
  WakeSignal wake;

  WorkerNews() = default;
  WorkerNews(const WorkerNews&) = delete;
  WorkerNews& operator=(const WorkerNews&) = delete;
  ~WorkerNews() { CloseWakeSignal(wake); }
};

// The connection's hooks pointed at `news`: reports and lines down queued; a screen, which
// the logger never asks for, is let go.
void HookUpWorkerNews(Connection& connection, WorkerNews& news);

// What has come since the last look, and the wake signal cleared.
void TakeWorkerNews(WorkerNews& news, std::vector<ConnectReport>& reports,
                    std::vector<unsigned>& lineDowns);
