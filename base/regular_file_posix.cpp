// SPDX-License-Identifier: BSD-2-Clause
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/regular_file.h"

namespace {

int Flags(RegularFileUse use) {
  switch (use) {
    case kAppendToFile:
      return O_WRONLY | O_CREAT | O_APPEND;
    case kReadAndWriteFile:
      return O_RDWR | O_CREAT;
    case kReplaceFile:
      return O_WRONLY | O_CREAT;  // emptied once it is known to be a regular file
  }
  return O_RDONLY;
}

// Why an open failed: a pipe without a reader says ENXIO and a device may say anything,
// where the user needs to hear what the name is.
int Classified(int folder, const char* name, int error) {
  struct stat info;
  if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return error;
  if (S_ISLNK(info.st_mode)) return ELOOP;
  if (!S_ISREG(info.st_mode)) return kNotRegularFile;
  return error;
}

}  // namespace

int OpenRegularFile(intptr_t folder, const char* name, RegularFileUse use, intptr_t& handle) {
  int at = folder == kCurrentFolder ? AT_FDCWD : static_cast<int>(folder);
  // Not following a last symbolic link, and not waiting for a pipe's other end.
  int fd = openat(at, name, Flags(use) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return Classified(at, name, errno);
  struct stat info;
  int error = fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : kNotRegularFile;
  if (error == 0 && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) error = errno;
  if (error == 0 && use == kReplaceFile && ftruncate(fd, 0) != 0) error = errno;
  if (error != 0) {
    close(fd);
    return error;
  }
  handle = fd;
  return 0;
}

int RegularFileAt(const char* path) {
  struct stat info;
  if (lstat(path, &info) != 0) return errno;
  if (S_ISLNK(info.st_mode)) return ELOOP;
  return S_ISREG(info.st_mode) ? 0 : kNotRegularFile;
}

FILE* OpenStream(intptr_t handle) {
  FILE* stream = fdopen(static_cast<int>(handle), "wb");
  if (stream == nullptr) {
    int error = errno;
    close(static_cast<int>(handle));
    errno = error;
  }
  return stream;
}
