// SPDX-License-Identifier: BSD-2-Clause
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "base/regular_file.h"

// A symbolic link or a junction is a reparse point: opened as itself
// (FILE_FLAG_OPEN_REPARSE_POINT) it is seen for what it is and refused. Windows has no
// folder handles to open within, so a name here is always a path of its own.

namespace {

int ErrorNumber(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EBUSY;
    case ERROR_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

int Kind(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return ELOOP;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return kNotRegularFile;
  return 0;
}

}  // namespace

int OpenRegularFile(intptr_t, const char* name, RegularFileUse use, intptr_t& handle) {
  DWORD access = use == kReadAndWriteFile ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
  HANDLE file = CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    int error = RegularFileAt(name);
    return error != 0 && error != ENOENT ? error : ErrorNumber(GetLastError());
  }
  BY_HANDLE_FILE_INFORMATION information;
  int error = GetFileInformationByHandle(file, &information) ? Kind(information.dwFileAttributes)
                                                             : ErrorNumber(GetLastError());
  if (error == 0 && GetFileType(file) != FILE_TYPE_DISK) error = kNotRegularFile;
  if (error == 0 && use == kReplaceFile && !SetEndOfFile(file)) error = ErrorNumber(GetLastError());
  int flags = use == kAppendToFile ? _O_APPEND : use == kReadAndWriteFile ? _O_RDWR : _O_WRONLY;
  int fd = error == 0 ? _open_osfhandle(reinterpret_cast<intptr_t>(file), flags | _O_BINARY) : -1;
  if (fd < 0) {
    CloseHandle(file);
    return error != 0 ? error : EMFILE;
  }
  handle = fd;
  return 0;
}

int RegularFileAt(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return ErrorNumber(GetLastError());
  int kind = Kind(data.dwFileAttributes);
  if (kind != 0) return kind;
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) ? kNotRegularFile : 0;
}

FILE* OpenStream(intptr_t handle) {
  FILE* stream = _fdopen(static_cast<int>(handle), "wb");
  if (stream == nullptr) {
    int error = errno;
    _close(static_cast<int>(handle));
    errno = error;
  }
  return stream;
}
