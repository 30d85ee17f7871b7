// SPDX-License-Identifier: BSD-2-Clause
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "capture/dump_io.h"

int OpenDumpFile(const char* path, DumpFile& file) {
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  file.handle = fd;
  return 0;
}

int DumpFileSize(const DumpFile& file, uint64_t& size) {
  struct stat info;
  if (fstat(static_cast<int>(file.handle), &info) != 0) return errno;
  size = static_cast<uint64_t>(info.st_size);
  return 0;
}

int WriteWhole(DumpFile& file, const uint8_t* bytes, int count) {
  int done = 0;
  while (done < count) {
    ssize_t n =
        write(static_cast<int>(file.handle), bytes + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    done += static_cast<int>(n);
  }
  return 0;
}

int TruncateDumpFile(DumpFile& file, uint64_t size) {
  while (ftruncate(static_cast<int>(file.handle), static_cast<off_t>(size)) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int SyncDumpFile(DumpFile& file) {
  return fdatasync(static_cast<int>(file.handle)) == 0 ? 0 : errno;
}

DumpFilePlace PlaceOfDumpFile(const DumpFile& file, const char* path) {
  struct stat open, named;
  if (fstat(static_cast<int>(file.handle), &open) != 0) return kDumpInPlace;
  if (open.st_nlink == 0) return kDumpRemoved;
  if (stat(path, &named) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? kDumpMovedAway : kDumpInPlace;
  }
  bool same = named.st_ino == open.st_ino && named.st_dev == open.st_dev;
  return same ? kDumpInPlace : kDumpMovedAway;
}

void CloseDumpFile(DumpFile& file) {
  if (file.handle < 0) return;
  close(static_cast<int>(file.handle));  // everything was written and synced before
  file.handle = -1;
}

void PrepareDumpWrites() {
  signal(SIGXFSZ, SIG_IGN);
}

int MakeFolders(const char* path) {
  std::string partial;
  const char* at = path;
  while (true) {
    const char* slash = std::strchr(at + (*at == '/' ? 1 : 0), '/');
    partial.assign(path, slash != nullptr ? static_cast<size_t>(slash - path) : std::strlen(path));
    if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return errno;
    if (slash == nullptr) return 0;
    at = slash;
  }
}
