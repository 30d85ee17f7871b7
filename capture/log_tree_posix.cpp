// SPDX-License-Identifier: BSD-2-Clause
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/regular_file.h"
#include "capture/log_tree.h"

// Everything is reached from a folder's descriptor (openat, fstatat, unlinkat) with
// O_NOFOLLOW and AT_SYMLINK_NOFOLLOW: a folder swapped for a link between a look and a
// deletion still cannot send the deletion elsewhere.

TreeFolder::~TreeFolder() {
  if (handle >= 0) close(static_cast<int>(handle));
}

int OpenTreeRoot(const char* directory, TreeFolder& root) {
  root.path = directory[0] != '\0' ? directory : ".";
  int fd = open(root.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  root.handle = fd;
  return 0;
}

int OpenTreeFolder(const TreeFolder& parent, const char* name, TreeFolder& folder) {
  folder.path = parent.path + "/" + name;
  int fd = openat(static_cast<int>(parent.handle), name,
                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    folder.handle = fd;
    return 0;
  }
  int error = errno;
  struct stat info;
  if (fstatat(static_cast<int>(parent.handle), name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISLNK(info.st_mode)) {
    return ELOOP;
  }
  return error;
}

int ListTreeFolder(const TreeFolder& folder, void (*each)(void* context, const TreeEntry& entry),
                   void* context) {
  int fd = openat(static_cast<int>(folder.handle), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  DIR* listing = fdopendir(fd);  // takes the descriptor: its own, so the folder's stays
  if (listing == nullptr) {
    int error = errno;
    close(fd);
    return error;
  }
  errno = 0;
  for (dirent* found; (found = readdir(listing)) != nullptr; errno = 0) {
    const char* name = found->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    struct stat info;
    TreeEntry entry;
    entry.name = name;
    if (fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
      entry.kind = S_ISDIR(info.st_mode)   ? kTreeFolder
                   : S_ISREG(info.st_mode) ? kTreeFile
                                           : kTreeOther;
      entry.modified = static_cast<int64_t>(info.st_mtime);
    }
    each(context, entry);
  }
  int error = errno;
  closedir(listing);
  return error;
}

int RemoveTreeFile(const TreeFolder& folder, const char* name) {
  int fd = static_cast<int>(folder.handle);
  struct stat info;
  if (fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (S_ISLNK(info.st_mode)) return ELOOP;
  if (!S_ISREG(info.st_mode)) return kNotRegularFile;
  return unlinkat(fd, name, 0) == 0 ? 0 : errno;  // a name, never what a link names
}

int RemoveTreeFolder(const TreeFolder& parent, const char* name) {
  if (unlinkat(static_cast<int>(parent.handle), name, AT_REMOVEDIR) == 0) return 0;
  return errno == EEXIST ? ENOTEMPTY : errno;
}
