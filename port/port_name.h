// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstddef>

// What a user's port name stands for.

// Whether a name is a receiver on the network: "rfc2217://..." or "tcp://...".
bool IsNetworkName(const char* name);

// The device that a user's port name stands for: "comN", "COMN" and "\\.\comN" name the
// N-th serial port of the platform; any other text is a path used as given. One file per
// platform (port_name_posix.cpp, port_name_win32.cpp).
void MapDevicePath(const char* name, char* out, size_t outSize);

// The N of "comN", "COMN", "\\.\comN" or "\\.\COMN" (N from 1, no leading zero).
bool MatchComPortName(const char* name, unsigned& number);

enum NetKind {
  kNotNetwork = 0,
  kRawTcp = 1,   // tcp://: a plain byte stream; nothing can be set remotely
  kRfc2217 = 2,  // rfc2217://: Telnet with the COM-PORT-OPTION
};

// Splits "rfc2217://HOST:PORT" or "tcp://HOST:PORT" (an IPv6 host in brackets). false
// when the name has no host or no port.
bool ParseNetName(const char* name, int& kind, char* host, int hostSize, char* service,
                  int serviceSize);
