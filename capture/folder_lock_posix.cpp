// SPDX-License-Identifier: BSD-2-Clause
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/regular_file.h"
#include "capture/folder_lock.h"

namespace {

void LockPath(const char* directory, char* out, size_t size) {
  std::snprintf(out, size, "%s%s.tarnex.lock", directory, directory[0] != '\0' ? "/" : "");
}

}  // namespace

int LockFolder(FolderLock& lock, const char* directory, const char* device, char* holder,
               size_t holderSize) {
  holder[0] = '\0';
  char path[600];
  LockPath(directory, path, sizeof path);
  intptr_t handle = -1;
  int opened = OpenRegularFile(kCurrentFolder, path, kReadAndWriteFile, handle);
  if (opened != 0) return opened;  // a link or a pipe named as the lock is not written
  int fd = static_cast<int>(handle);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ssize_t n = pread(fd, holder, holderSize - 1, 0);
    holder[n > 0 ? n : 0] = '\0';
    holder[std::strcspn(holder, "\n")] = '\0';
    close(fd);
    return error == EWOULDBLOCK ? EBUSY : error;
  }
  char text[400];
  int length =
      std::snprintf(text, sizeof text, "process %ld (%s)\n", static_cast<long>(getpid()), device);
  if (ftruncate(fd, 0) != 0 || pwrite(fd, text, static_cast<size_t>(length), 0) != length) {
    // Only the note on who holds the lock is missing; the lock itself holds.
  }
  lock.handle = fd;
  return 0;
}

void UnlockFolder(FolderLock& lock) {
  if (lock.handle < 0) return;
  close(static_cast<int>(lock.handle));  // lets go of the lock; the file stays
  lock.handle = -1;
}
