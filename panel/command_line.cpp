// SPDX-License-Identifier: BSD-2-Clause
#include "panel/command_line.h"

#include <cstdio>
#include <cstring>

#include "panel/commands.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the word starting at or after `from` into the device name. Returns the position
// right behind the word, or `from` when no word follows.
size_t ReadDeviceWord(const char* text, size_t from, DeviceChoice& device, bool& refused) {
  size_t start = from;
  while (text[start] != '\0' && IsBlank(text[start])) ++start;
  size_t end = start;
  while (text[end] != '\0' && !IsBlank(text[end])) ++end;
  if (end == start) return from;  // nothing there: the name stays as it was
  size_t length = end - start;
  if (length > kDeviceNameSize - 1) {
    refused = true;  // said in the window; a cut path would be waited for in vain
    return end;
  }
  std::memcpy(device.deviceName, text + start, length);
  device.deviceName[length] = '\0';
  return end;
}

// "com5" or "COM5" as a whole: its number, else 0.
int StartupPortNumber(const char* name) {
  for (int n = 1; n <= kDeviceMenuItems; ++n) {
    char lower[8];
    char upper[8];
    std::snprintf(lower, sizeof lower, "com%d", n);
    std::snprintf(upper, sizeof upper, "COM%d", n);
    if (std::strcmp(name, lower) == 0 || std::strcmp(name, upper) == 0) return n;
  }
  return 0;
}

// A name the menus do not know is shown without "/dev/" when that fits the field, else
// by its last part, as much of it as the field holds; a network name by its host.
void LabelForPath(const char* path, char* label) {
  const char* scheme = std::strstr(path, "://");
  if (scheme != nullptr) {  // a receiver on the network: its host
    const char* host = scheme + 3;
    size_t length = std::strcspn(host, ":");
    if (*host == '[') length = std::strcspn(host, "]") + 1;
    std::snprintf(label, kDeviceLabelSize, "%.*s", static_cast<int>(length), host);
    return;
  }
  const char* shown = path;
  if (std::strncmp(shown, "/dev/", 5) == 0) shown += 5;
  const char* slash = std::strrchr(shown, '/');
  if (std::strlen(shown) >= kDeviceLabelSize && slash != nullptr && slash[1] != '\0') {
    shown = slash + 1;
  }
  std::snprintf(label, kDeviceLabelSize, "%.7s", shown);
}

}  // namespace

void SetDefaults(DeviceChoice& device, StartOptions& options) {
  std::snprintf(device.deviceName, sizeof device.deviceName, "com1");
  options.displayMode = kFourLineMode;
  options.slaveMode = false;
  options.autoReconnect = true;
}

void ParseCommandLine(const char* text, DeviceChoice& device, StartOptions& options) {
  size_t length = std::strlen(text);
  size_t i = 0;
  while (i < length) {
    if (text[i] != '-' && text[i] != '/') {
      ++i;
      continue;
    }
    char letter = text[i + 1];
    i += 2;
    if (letter == '2') {
      options.displayMode = kTwoLineMode;
    } else if (letter == '4') {
      options.displayMode = kFourLineMode;
    } else if (letter == 'S' || letter == 's') {
      options.slaveMode = true;
    } else if (letter == 'M' || letter == 'm') {
      options.autoReconnect = false;
    } else if (letter == 'D' || letter == 'd') {
      i = ReadDeviceWord(text, i, device, options.deviceRefused);
    } else if (letter == '\0') {
      break;
    }
  }
}

void MatchDeviceName(DeviceChoice& device) {
  std::snprintf(device.portPath, sizeof device.portPath, "%s", device.deviceName);
  int n = StartupPortNumber(device.deviceName);
  device.deviceItem = n > 0 ? kFirstDeviceCommand + n - 1 : 0;  // other names: no COM item
  if (n >= 1 && n <= 9) {
    std::snprintf(device.deviceLabel, sizeof device.deviceLabel, "   com%d", n);
  } else if (n >= 10) {
    std::snprintf(device.portPath, sizeof device.portPath, "\\\\.\\com%d", n);
    std::snprintf(device.deviceLabel, sizeof device.deviceLabel, "com%d", n);
  } else {
    LabelForPath(device.deviceName, device.deviceLabel);
  }
}

void SelectDeviceItem(DeviceChoice& device, int commandId) {
  int n = commandId - (kFirstDeviceCommand - 1);
  if (n < 1 || n > kDeviceMenuItems) return;
  device.deviceItem = commandId;
  if (n <= 9) {
    std::snprintf(device.portPath, sizeof device.portPath, "com%1d", n);
    std::snprintf(device.deviceLabel, sizeof device.deviceLabel, "  com%1d", n);
  } else {
    std::snprintf(device.portPath, sizeof device.portPath, "\\\\.\\com%2d", n);
    std::snprintf(device.deviceLabel, sizeof device.deviceLabel, "com%2d", n);
  }
}

void SelectDevicePath(DeviceChoice& device, const char* path) {
  std::snprintf(device.portPath, sizeof device.portPath, "%s", path);
  device.deviceItem = 0;
  LabelForPath(device.portPath, device.deviceLabel);
}
