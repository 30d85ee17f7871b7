// SPDX-License-Identifier: BSD-2-Clause
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "base/regular_file.h"
#include "capture/dump_io.h"

namespace {

// A folder of the log's own below `folder`, made when missing; never through a symbolic
// link (ELOOP) nor into something else (ENOTDIR). Its descriptor, or -1 with `error`.
int OpenOwnFolder(int folder, const char* name, int& error) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) return fd;
    error = errno;
    if (error != ENOENT) break;
    if (mkdirat(folder, name, 0755) != 0 && errno != EEXIST) {
      error = errno;
      return -1;
    }
  }
  struct stat info;
  if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
    error = ELOOP;
  return -1;
}

int OpenDirectory(const char* directory, int& error) {
  const char* path = directory[0] != '\0' ? directory : ".";
  int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT && MakeFolders(path) == 0)
    fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) error = errno;
  return fd;
}

}  // namespace

int OpenDumpFile(const char* directory, const char* name, DumpFile& file) {
  int error = 0;
  int folder = OpenDirectory(directory, error);
  if (folder < 0) return error;
  char part[256];
  const char* at = name;
  for (const char* slash; (slash = std::strchr(at, '/')) != nullptr; at = slash + 1) {
    size_t length = static_cast<size_t>(slash - at);
    int inner = -1;
    error = ENAMETOOLONG;
    if (length < sizeof part) {
      std::memcpy(part, at, length);
      part[length] = '\0';
      inner = OpenOwnFolder(folder, part, error);
    }
    close(folder);
    if (inner < 0) return error;
    folder = inner;
  }
  intptr_t handle = -1;
  error = OpenRegularFile(folder, at, kAppendToFile, handle);
  close(folder);
  if (error == 0) file.handle = handle;
  return error;
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
  if (lstat(path, &named) != 0) {
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
