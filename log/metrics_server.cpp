// SPDX-License-Identifier: BSD-2-Clause
#include "log/metrics_server.h"

#include <httplib.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr size_t kMaxWaiting = 4;  // connections accepted and not yet served
constexpr int kClientTimeoutS = 3;

// One thread serves the connections in turn. When kMaxWaiting wait already, the accept
// loop waits too, and further clients wait in the kernel's short backlog or are refused:
// a flood of connections cannot make the logger hold more than that.
class OneAtATime : public httplib::TaskQueue {
 public:
  OneAtATime() : thread_([this] { Serve(); }) {}
  ~OneAtATime() override = default;

  void enqueue(std::function<void()> job) override {
    std::unique_lock<std::mutex> hold(lock_);
    room_.wait(hold, [this] { return jobs_.size() < kMaxWaiting || ending_; });
    jobs_.push_back(std::move(job));
    work_.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      ending_ = true;
    }
    work_.notify_one();
    room_.notify_all();
    thread_.join();
  }

 private:
  // Runs every job handed over, the ones left at shutdown too: each closes its socket.
  void Serve() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> hold(lock_);
        work_.wait(hold, [this] { return !jobs_.empty() || ending_; });
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      room_.notify_one();
      job();
    }
  }

  std::mutex lock_;
  std::condition_variable work_, room_;
  std::deque<std::function<void()>> jobs_;
  bool ending_ = false;
  std::thread thread_;
};

}  // namespace

struct MetricsServer {
  httplib::Server http;
  std::thread thread;
  std::mutex lock;
  std::string text;  // what a scrape gets; its capacity is kept between publications
};

namespace {

void StopServer(MetricsServer* server) {
  server->http.stop();
  if (server->thread.joinable()) server->thread.join();
  delete server;
}

MetricsServer* StartServer(const char* host, int port, int* boundPort, char* error, int errorSize) {
  auto* server = new MetricsServer;
  httplib::Server& http = server->http;
  http.new_task_queue = [] { return new OneAtATime; };
  http.set_payload_max_length(1024);
  http.set_read_timeout(kClientTimeoutS, 0);
  http.set_write_timeout(kClientTimeoutS, 0);
  http.set_keep_alive_timeout(kClientTimeoutS);
  http.Get("/metrics", [server](const httplib::Request&, httplib::Response& response) {
    std::string body;
    {
      std::lock_guard<std::mutex> hold(server->lock);
      body = server->text;
    }
    response.set_content(std::move(body), "text/plain; version=0.0.4; charset=utf-8");
  });
  errno = 0;
  int bound = port == 0 ? http.bind_to_any_port(host) : (http.bind_to_port(host, port) ? port : -1);
  if (bound <= 0) {
    std::snprintf(error, static_cast<size_t>(errorSize), "cannot serve metrics on %s:%d: %s", host,
                  port,
                  errno != 0 ? std::strerror(errno) : "the address is not one of this machine's");
    delete server;
    return nullptr;
  }
  *boundPort = bound;
  server->thread = std::thread([&http] { http.listen_after_bind(); });
  // A stop before the loop runs would not reach it: the loop is let start first.
  for (int waited = 0; !http.is_running() && waited < 2000; ++waited)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return server;
}

void Publish(MetricsServer* server, const char* text, int length) {
  std::lock_guard<std::mutex> hold(server->lock);
  server->text.assign(text, static_cast<size_t>(length));
}

const MetricsServerApi kApi = {StartServer, Publish, StopServer};

}  // namespace

extern "C" const MetricsServerApi* TarnexMetricsServerApi() {
  return &kApi;
}
