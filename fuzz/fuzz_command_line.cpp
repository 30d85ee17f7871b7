// SPDX-License-Identifier: BSD-2-Clause
// The command-line parser and the device matching on any text.
#include <cassert>
#include <cstdint>
#include <cstring>
#include <string>

#include "panel/command_line.h"
#include "panel/commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  DeviceChoice device;
  StartOptions options;
  SetDefaults(device, options);
  ParseCommandLine(text.c_str(), device, options);
  MatchDeviceName(device);
  assert(std::strlen(device.deviceName) < kDeviceNameSize);
  assert(std::strlen(device.portPath) < kDeviceNameSize);
  assert(std::strlen(device.deviceLabel) < kDeviceLabelSize);
  assert(options.displayMode == kTwoLineMode || options.displayMode == kFourLineMode);
  // A device by its path marks no COM item.
  assert(device.deviceItem == 0 ||
         (device.deviceItem >= kFirstDeviceCommand && device.deviceItem <= kLastDeviceCommand));
  return 0;
}
