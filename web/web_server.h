// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// --web: the receiver's panel served to browsers by tarnex-log, in its HTTP module (with
// the metrics server): the page, its login, and a WebSocket per browser that carries the
// screens and the logger's state to it and its keys back. The server is one more client
// of the share hub: its screen requests are coalesced with every other client's, and
// keys go to the receiver through the hub, in order. It runs one event loop on a thread
// of its own; neither the worker nor the main loop ever waits for it, nor it for a
// browser: a browser that does not keep up is dropped.

struct ShareHub;
struct WebUsers;
struct WebServer;  // inside the module

struct WebServerSettings {
  const char* host = "127.0.0.1";
  int port = 0;  // 0: any free port
  ShareHub* hub = nullptr;
  const WebUsers* users = nullptr;       // null: no login (served on loopback only)
  const char* tlsCertificate = nullptr;  // PEM files; null: plain HTTP
  const char* tlsKey = nullptr;
  // The journal's lines (logins, refusals, drops), said from the server's thread.
  void* context = nullptr;
  void (*say)(void* context, const char* text, bool failure) = nullptr;
};

struct WebServerApi {
  // Binds and starts serving. Null with `error` holding the reason.
  WebServer* (*start)(const WebServerSettings* settings, int* boundPort, char* error,
                      int errorSize);
  // The logger's state for the page, as JSON ({"status":{...}}); sent to every browser
  // when it changed.
  void (*publish)(WebServer* server, const char* json, int length);
  // Closes every connection, leaves the hub, joins the thread and frees the server.
  void (*stop)(WebServer* server);
};

extern "C" const WebServerApi* TarnexWebServerApi();
