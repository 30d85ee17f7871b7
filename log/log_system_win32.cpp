// SPDX-License-Identifier: BSD-2-Clause
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "log/log_system.h"

namespace {

void (*stopHandler)() = nullptr;
HANDLE stopped = nullptr;  // set once every item is on disk

// Runs on a thread of the system's. Once a close, logoff or shutdown handler returns,
// Windows ends the process: it waits for the logger to finish first (Windows allows 5 s
// for a close, the logger's stop takes well under one).
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (stopHandler != nullptr) stopHandler();
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    if (stopped != nullptr) WaitForSingleObject(stopped, 4500);
  }
  return TRUE;
}

}  // namespace

void CatchStopRequests(void (*onStop)()) {
  stopHandler = onStop;
  stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
    std::fprintf(stderr, "tarnex-log: Ctrl+C will not stop it cleanly (error %lu)\n",
                 GetLastError());
  }
}

void StopRequestsHandled() {
  if (stopped != nullptr) SetEvent(stopped);
}

bool OutputIsTerminal() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode)) return false;
  // The status line is redrawn with "\r\033[K", which a console takes once asked to.
  SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  return true;
}

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 80;
  int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? columns : 80;
}

// Windows has no access() that tells whether a folder may be written: a file is made.
bool FolderWritable(const char* folder, int& error) {
  std::error_code failed;
  std::filesystem::path base(folder[0] != '\0' ? folder : ".");
  if (!std::filesystem::is_directory(base, failed)) {
    error = ENOENT;
    return false;
  }
  std::filesystem::path probe = base / ".tarnex-write-test";
  FILE* file = _wfopen(probe.c_str(), L"wb");
  if (file == nullptr) {
    error = errno;
    return false;
  }
  std::fclose(file);
  std::filesystem::remove(probe, failed);
  error = 0;
  return true;
}

bool WaitForWake(const WakeSignal& wake, int ms) {
  DWORD waited = WaitForSingleObject(reinterpret_cast<HANDLE>(wake.handle),
                                     ms < 0 ? INFINITE : static_cast<DWORD>(ms));
  return waited != WAIT_FAILED;
}

bool ClockSynchronized() {
  return false;  // retention then waits for the receiver's time where every file would go
}
