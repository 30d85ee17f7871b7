// SPDX-License-Identifier: BSD-2-Clause
// Serial devices on Windows: the Ports class of the device manager, each with the COM
// name it was given and its friendly name, such as "USB Serial Port (COM3)".

#include <windows.h>
// windows.h first: the headers below build on it.
#include <devguid.h>
#include <initguid.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>

#include "base/trace.h"
#include "port/serial_ports.h"

namespace {

// The device setup class "Ports (COM & LPT)", GUID_DEVCLASS_PORTS, spelled out so that no
// GUID library is needed.
const GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// The COM name the device was given; false for a device of the class that is no COM port
// (a printer port).
bool ComPortName(HDEVINFO set, SP_DEVINFO_DATA& device, char* out, DWORD size) {
  HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return false;
  DWORD type = 0;
  DWORD length = size - 1;
  std::memset(out, 0, size);
  LONG read =
      RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(out), &length);
  RegCloseKey(key);
  return read == ERROR_SUCCESS && type == REG_SZ && std::strncmp(out, "COM", 3) == 0;
}

}  // namespace

void ListSerialPorts(PortList& list, const char*) {
  list.count = 0;
  HDEVINFO set = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) {
    Trace("SetupDiGetClassDevs failed: error %lu", GetLastError());
    return;
  }
  SP_DEVINFO_DATA device;
  device.cbSize = sizeof device;
  for (DWORD i = 0; list.count < kMaxListedPorts && SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    char name[64];
    if (!ComPortName(set, device, name, sizeof name)) continue;
    ListedPort& port = list.ports[list.count++];
    std::snprintf(port.path, sizeof port.path, "%s", name);
    char friendly[kListedNameSize] = {};
    if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                          reinterpret_cast<BYTE*>(friendly), sizeof friendly - 1,
                                          nullptr)) {
      std::snprintf(port.name, sizeof port.name, "%s", friendly);
    } else {
      std::snprintf(port.name, sizeof port.name, "Serial port %s", name);
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  SortPortList(list);
}

bool ComNamesAreTheSystems() {
  return true;
}
