// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>

// --metrics: an HTTP server that answers GET /metrics with the text the main thread last
// published, and nothing else. It runs on a thread of its own and never touches the
// connection: a scrape takes a copy of the text under a short lock, so that neither the
// worker nor the main loop ever waits for a client. One request is served at a time and
// at most a few wait; a slow client is cut off after a few seconds.

struct MetricsServerState;  // the HTTP library's server, kept out of this header

struct MetricsServer {
  std::unique_ptr<MetricsServerState> state;
  std::thread thread;
  std::mutex lock;
  std::string text;  // what a scrape gets; its capacity is kept between publications
  int port = 0;      // the port bound, once started

  MetricsServer();
  ~MetricsServer();  // stops it
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;
};

// Binds host:port (0: any free port; `server.port` tells which) and starts serving.
// false with `error` holding the reason (in use, no such address).
bool StartMetricsServer(MetricsServer& server, const char* host, int port, char* error,
                        int errorSize);

void PublishMetrics(MetricsServer& server, const char* text, int length);

// Stops accepting, finishes the request in hand and joins the thread.
void StopMetricsServer(MetricsServer& server);
