// SPDX-License-Identifier: BSD-2-Clause
#include "log/worker_news.h"

namespace {

void OnConnectDone(void* context, const ConnectReport& report) {
  auto* news = static_cast<WorkerNews*>(context);
  std::lock_guard<std::mutex> hold(news->lock);
  news->reports.push_back(report);
  RaiseWakeSignal(news->wake);
}

void OnLineDown(void* context, unsigned attempt) {
  auto* news = static_cast<WorkerNews*>(context);
  std::lock_guard<std::mutex> hold(news->lock);
  news->lineDowns.push_back(attempt);
  RaiseWakeSignal(news->wake);
}

bool OnScreen(void*, unsigned) {
  return true;  // no screen is asked for; one that comes anyway is not logged
}

}  // namespace

void HookUpWorkerNews(Connection& connection, WorkerNews& news) {
  connection.hooks.context = &news;
  connection.hooks.connectDone = OnConnectDone;
  connection.hooks.lineDown = OnLineDown;
  connection.hooks.screen = OnScreen;
}

void TakeWorkerNews(WorkerNews& news, std::vector<ConnectReport>& reports,
                    std::vector<unsigned>& lineDowns) {
  std::lock_guard<std::mutex> hold(news.lock);
  ClearWakeSignal(news.wake);
  reports.swap(news.reports);
  lineDowns.swap(news.lineDowns);
}
