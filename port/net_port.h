// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include "port/serial_port.h"

// A receiver behind a serial-to-network server: "rfc2217://HOST:PORT" speaks Telnet with
// the COM-PORT-OPTION, so that the line settings, the break and the purge of the input
// reach the remote port; "tcp://HOST:PORT" is a plain byte stream. Each operation has the
// meaning of its counterpart in serial_port.h.

int OpenNetPort(SerialPort& port, const char* name);
int SetNetLine(SerialPort& port, uint32_t baud, int parity);
int SendNetBreak(SerialPort& port);
void FlushNetPort(SerialPort& port);
int ReadNetPort(SerialPort& port, uint8_t* buffer, int n);
int WriteNetPort(SerialPort& port, const uint8_t* buffer, int n);
int WaitForNetInput(SerialPort& port, int timeoutMs, int hangUpPauseMs);
void CloseNetPort(SerialPort& port);

// Splits "rfc2217://HOST:PORT" or "tcp://HOST:PORT" (an IPv6 host in brackets). false
// when the name has no host or no port.
bool ParseNetName(const char* name, int& kind, char* host, int hostSize, char* service,
                  int serviceSize);
