// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include "share/address_range.h"
#include "share/share_hub.h"

// The TCP side of a shared receiver: one thread that accepts clients on the share port
// (the receiver's line, as the hub has it) and the NMEA port (sentences only), reads what
// they send into the hub and writes what the hub queued for them. It never waits on one
// client: sockets do not block, and a client that does not keep up is dropped and said.
// One file per platform (share_server_posix.cpp, share_server_win32.cpp).

struct ShareServer;

struct ListenPlace {
  char host[64] = {};  // "" with port -1: not served
  int port = -1;       // 0: any free port
};

struct ShareServerSettings {
  ListenPlace share;
  ListenPlace nmea;
  AddressRanges allow;    // who may attach
  AddressRanges control;  // who may press keys; the others watch
  // The journal's lines: a client attached, refused, dropped, gone. From the server's
  // thread.
  void* context = nullptr;
  void (*say)(void* context, const char* text, bool failure) = nullptr;
};

// Binds the places asked for and starts serving `hub`, which must outlive the server.
// Null with `error` saying why (in use, no such address, not available here). The ports
// bound are written back into the settings' places.
ShareServer* StartShareServer(ShareHub& hub, ShareServerSettings& settings, char* error,
                              int errorSize);
// Closes every client and the ports, and joins the thread.
void StopShareServer(ShareServer* server);
