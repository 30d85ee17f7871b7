// SPDX-License-Identifier: BSD-2-Clause
#include <direct.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "capture/dump_io.h"

// The C runtime's descriptors give errno like POSIX. Windows refuses to delete or rename
// a file another program holds open, so an open dump file cannot vanish here.

int OpenDumpFile(const char* path, DumpFile& file) {
  int fd = _open(path, _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
  if (fd < 0) return errno;
  file.handle = fd;
  return 0;
}

int DumpFileSize(const DumpFile& file, uint64_t& size) {
  struct _stat64 info;
  if (_fstat64(static_cast<int>(file.handle), &info) != 0) return errno;
  size = static_cast<uint64_t>(info.st_size);
  return 0;
}

int WriteWhole(DumpFile& file, const uint8_t* bytes, int count) {
  int done = 0;
  while (done < count) {
    int n =
        _write(static_cast<int>(file.handle), bytes + done, static_cast<unsigned>(count - done));
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    done += n;
  }
  return 0;
}

int TruncateDumpFile(DumpFile& file, uint64_t size) {
  return _chsize_s(static_cast<int>(file.handle), static_cast<long long>(size));
}

int SyncDumpFile(DumpFile& file) {
  return _commit(static_cast<int>(file.handle)) == 0 ? 0 : errno;
}

DumpFilePlace PlaceOfDumpFile(const DumpFile&, const char*) {
  return kDumpInPlace;
}

void CloseDumpFile(DumpFile& file) {
  if (file.handle < 0) return;
  _close(static_cast<int>(file.handle));
  file.handle = -1;
}

void PrepareDumpWrites() {}

int MakeFolders(const char* path) {
  std::string partial;
  for (const char* at = path;; ++at) {
    if (*at != '/' && *at != '\\' && *at != '\0') continue;
    partial.assign(path, static_cast<size_t>(at - path));
    bool drive = partial.size() == 2 && partial[1] == ':';
    if (!partial.empty() && !drive && _mkdir(partial.c_str()) != 0 && errno != EEXIST) {
      return errno;
    }
    if (*at == '\0') return 0;
  }
}
