// SPDX-License-Identifier: BSD-2-Clause
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/regular_file.h"
#include "capture/folder_lock.h"

// Windows holds the lock by the share mode: while this process has the file open with
// no write sharing, nobody else can open it to write.
int LockFolder(FolderLock& lock, const char* directory, const char* device, char* holder,
               size_t holderSize) {
  holder[0] = '\0';
  char path[600];
  std::snprintf(path, sizeof path, "%s%s.tarnex.lock", directory, directory[0] != '\0' ? "\\" : "");
  int what = RegularFileAt(path);
  if (what != 0 && what != ENOENT) return what;  // a link or a folder named as the lock
  HANDLE file =
      CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION) return error == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
    HANDLE reader = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    DWORD n = 0;
    if (reader != INVALID_HANDLE_VALUE) {
      if (!ReadFile(reader, holder, static_cast<DWORD>(holderSize - 1), &n, nullptr)) n = 0;
      CloseHandle(reader);
    }
    holder[n] = '\0';
    holder[std::strcspn(holder, "\r\n")] = '\0';
    return EBUSY;
  }
  char text[400];
  int length =
      std::snprintf(text, sizeof text, "process %lu (%s)\r\n", GetCurrentProcessId(), device);
  DWORD written = 0;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);  // only a note
  lock.handle = reinterpret_cast<intptr_t>(file);
  return 0;
}

void UnlockFolder(FolderLock& lock) {
  if (lock.handle < 0) return;
  CloseHandle(reinterpret_cast<HANDLE>(lock.handle));
  lock.handle = -1;
}
