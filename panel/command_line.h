// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// The command line and the choice of device: what the user asked for at start and in the
// Device menu, turned into the path that is opened and the label that is shown.

// A device's path may be as long as the connection takes one: a /dev/serial/by-id/ name
// often passes the 79 characters of old.
constexpr int kDeviceNameSize = 256;  // 255 characters and the terminator
constexpr int kDeviceLabelSize = 8;   // 7 characters and the terminator

struct DeviceChoice {
  char deviceName[kDeviceNameSize] = {};
  char portPath[kDeviceNameSize] = {};
  char deviceLabel[kDeviceLabelSize] = {};
  int deviceItem = 0;  // the COM item marked, 2080..2099; 0 for a device by its path
};

struct StartOptions {
  int displayMode = 0;         // 40002 four-line unless a switch says otherwise
  bool deviceRefused = false;  // -D named a path longer than a path may be: not taken
  bool slaveMode = false;
  bool autoReconnect = true;  // switch M: reconnect by hand only
};

// "com1", four-line, no slave mode.
void SetDefaults(DeviceChoice& device, StartOptions& options);

// Switches "-" or "/" followed by 2, 4, S/s, M/m, or D/d and a device name. A name too long
// to be a path is refused whole (deviceRefused), never cut into another path.
void ParseCommandLine(const char* text, DeviceChoice& device, StartOptions& options);

// Sets the port path, the label and the COM item for a device name given at start-up or
// by "Other device...".
void MatchDeviceName(DeviceChoice& device);

// The path and label for the Device menu item with id 2080..2099.
void SelectDeviceItem(DeviceChoice& device, int commandId);

// A device chosen by its path from the ports this machine has.
void SelectDevicePath(DeviceChoice& device, const char* path);
