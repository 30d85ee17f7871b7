// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// --metrics: an HTTP server that answers GET /metrics with the text the main thread last
// published, and nothing else. It runs on a thread of its own and never touches the
// connection: a scrape takes a copy of the text under a short lock, so that neither the
// worker nor the main loop ever waits for a client. One request is served at a time and
// at most a few wait; a slow client is cut off after a few seconds.
//
// It lives in a module of its own, loaded only when --metrics is given: the HTTP library
// brings TLS and compression libraries with it, megabytes of resident memory that a
// logger without metrics has no use for.

struct MetricsServer;  // inside the module

// The module's functions, by name and by C linkage, so that it can be loaded at run time.
struct MetricsServerApi {
  // Binds host:port (0: any free port; `boundPort` tells which) and starts serving. Null
  // with `error` holding the reason (in use, no such address).
  MetricsServer* (*start)(const char* host, int port, int* boundPort, char* error, int errorSize);
  void (*publish)(MetricsServer* server, const char* text, int length);
  // Stops accepting, finishes the request in hand, joins the thread and frees the server.
  void (*stop)(MetricsServer* server);
};

extern "C" const MetricsServerApi* TarnexMetricsServerApi();

constexpr const char* kMetricsModuleName = "libtarnex-metrics.so";
