// SPDX-License-Identifier: BSD-2-Clause
// The connection check's look at the device on Windows: whether the COM port exists (and
// which do), and whether another program holds it, from what opening it says.

#include <windows.h>

#include "base/windows_error_text.h"
#include "log/check_report.h"

bool CheckDevice(Report& report, const char* path, const CheckPlaces& places) {
  HANDLE handle =
      CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    Say(report, false, "%s exists, and no other program holds it", path);
    return true;
  }
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    Say(report, true, "%s does not exist.", path);
    ListPortsHere(report, places,
                  "Device Manager, under Ports (COM & LPT), shows the COM number an adapter got");
    return false;
  }
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
    Say(report, true,
        "another program holds %s open: close the port in it (another Tarnex or tarnex-log, a "
        "terminal program, the receiver maker's tool).",
        path);
    return false;
  }
  char reason[256];
  WindowsErrorText(error, reason, sizeof reason);
  Say(report, true, "%s cannot be opened: %s", path, reason);
  return false;
}
