// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include "port/serial_port.h"

// A serial device of the platform, as the platform's file (serial_port_posix.cpp,
// serial_port_win32.cpp) drives it. serial_port.cpp chooses between these and a receiver
// on the network by the name given to OpenPort; each has the meaning of its public
// counterpart in serial_port.h.

constexpr int kBreakMs = 300;  // how long a break holds the line
constexpr int kFlushChunk = 300;
constexpr int kFlushReadMs = 10;    // what one flush read may wait in all
constexpr int kFlushLimitMs = 100;  // what the whole flush may take

int OpenDevice(SerialPort& port, const char* path);
int SetDeviceLine(SerialPort& port, uint32_t baud, int parity);
int SendDeviceBreak(SerialPort& port);
void FlushDevice(SerialPort& port);
int ReadDevice(SerialPort& port, uint8_t* buffer, int n);
int WriteDevice(SerialPort& port, const uint8_t* buffer, int n);
int WaitForDevice(SerialPort& port, int timeoutMs, int hangUpPauseMs);
void CloseDevice(SerialPort& port);

// Reads and discards, through ReadPort and WaitForInput, batches of kFlushChunk bytes
// that each gather for at most kFlushReadMs, until a batch comes short or kFlushLimitMs
// have passed.
void DrainInput(SerialPort& port);
