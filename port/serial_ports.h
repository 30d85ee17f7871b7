// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// The serial devices this machine has now, each under a name a person recognises, for
// the Device menu: read afresh each time, so that an adapter plugged in a moment ago is
// there.

constexpr int kMaxListedPorts = 32;
constexpr int kListedPathSize = 256;
constexpr int kListedNameSize = 192;

struct ListedPort {
  char path[kListedPathSize];  // what is opened: /dev/ttyUSB0, COM3
  char name[kListedNameSize];  // what is shown: "FTDI FT232R USB UART (ttyUSB0)"
};

struct PortList {
  ListedPort ports[kMaxListedPorts];
  int count = 0;
};

// Fills `list` in the order of the paths, at most kMaxListedPorts. `systemDirectory`
// stands for the place the system describes its devices in (null: the system's own);
// tests give a folder of their own.
void ListSerialPorts(PortList& list, const char* systemDirectory = nullptr);

// Whether COM1, COM2... are this system's own names for its serial ports (Windows), or
// only stand for /dev/ttyS0, /dev/ttyS1... as a convenience (elsewhere).
bool ComNamesAreTheSystems();

// Sorts a list by path, with the numbers in names in their order (ttyUSB2 before ttyUSB10).
void SortPortList(PortList& list);
