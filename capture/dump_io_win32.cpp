// SPDX-License-Identifier: BSD-2-Clause
#include <direct.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "base/regular_file.h"
#include "capture/dump_io.h"

// The C runtime's descriptors give errno like POSIX. Windows refuses to delete or rename
// a file another program holds open, so an open dump file cannot vanish here.

namespace {

// Each folder between the directory and the file, made when missing and refused when it is
// a symbolic link or a junction.
int MakeOwnFolders(const std::string& directory, const char* name) {
  for (const char* slash = std::strchr(name, '/'); slash != nullptr;
       slash = std::strchr(slash + 1, '/')) {
    std::string folder = directory + std::string(name, static_cast<size_t>(slash - name));
    DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (_mkdir(folder.c_str()) != 0 && errno != EEXIST) return errno;
    } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      return ELOOP;
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return ENOTDIR;
    }
  }
  return 0;
}

}  // namespace

int OpenDumpFile(const char* directory, const char* name, DumpFile& file) {
  if (directory[0] != '\0' && GetFileAttributesA(directory) == INVALID_FILE_ATTRIBUTES) {
    int error = MakeFolders(directory);
    if (error != 0) return error;
  }
  std::string folder = directory[0] != '\0' ? std::string(directory) + "/" : std::string();
  int error = MakeOwnFolders(folder, name);
  intptr_t handle = -1;
  if (error == 0)
    error = OpenRegularFile(kCurrentFolder, (folder + name).c_str(), kAppendToFile, handle);
  if (error == 0) file.handle = handle;
  return error;
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
