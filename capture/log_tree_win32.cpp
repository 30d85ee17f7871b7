// SPDX-License-Identifier: BSD-2-Clause
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "base/regular_file.h"
#include "capture/log_tree.h"

// Windows has no folder descriptors to work from: each call looks at the path again, with
// the non-throwing forms of std::filesystem, and a reparse point (a symbolic link or a
// junction) is never entered nor deleted through.

namespace fs = std::filesystem;

namespace {

int ErrorOf(const std::error_code& error) {
  if (!error) return 0;
  return error.category() == std::generic_category() ? error.value() : EIO;
}

bool Reparse(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

int64_t UnixSeconds(fs::file_time_type when) {
  auto system = fs::file_time_type::clock::to_sys(when);
  return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

}  // namespace

TreeFolder::~TreeFolder() = default;

int OpenTreeRoot(const char* directory, TreeFolder& root) {
  root.path = directory[0] != '\0' ? directory : ".";
  std::error_code error;
  if (!fs::is_directory(root.path, error)) return error ? ErrorOf(error) : ENOTDIR;
  return 0;
}

int OpenTreeFolder(const TreeFolder& parent, const char* name, TreeFolder& folder) {
  folder.path = parent.path + "/" + name;
  if (Reparse(folder.path)) return ELOOP;
  std::error_code error;
  fs::file_status status = fs::symlink_status(folder.path, error);
  if (error) return ErrorOf(error);
  return status.type() == fs::file_type::directory ? 0 : ENOTDIR;
}

int ListTreeFolder(const TreeFolder& folder, void (*each)(void* context, const TreeEntry& entry),
                   void* context) {
  std::error_code error;
  fs::directory_iterator entries(folder.path, error);
  for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
    std::string name = entries->path().filename().string();
    std::string path = folder.path + "/" + name;
    TreeEntry entry;
    entry.name = name.c_str();
    std::error_code kind;
    fs::file_status status = entries->symlink_status(kind);
    if (!kind && !Reparse(path)) {
      entry.kind = status.type() == fs::file_type::directory ? kTreeFolder
                   : status.type() == fs::file_type::regular ? kTreeFile
                                                             : kTreeOther;
      std::error_code time;
      fs::file_time_type written = entries->last_write_time(time);
      if (!time) entry.modified = UnixSeconds(written);
    }
    each(context, entry);
  }
  return ErrorOf(error);
}

int RemoveTreeFile(const TreeFolder& folder, const char* name) {
  std::string path = folder.path + "/" + name;
  int what = RegularFileAt(path.c_str());
  if (what != 0) return what;
  std::error_code error;
  fs::remove(path, error);
  return ErrorOf(error);
}

int RemoveTreeFolder(const TreeFolder& parent, const char* name) {
  std::string path = parent.path + "/" + name;
  if (Reparse(path)) return ENOTDIR;
  return RemoveDirectoryA(path.c_str()) ? 0 : ENOTEMPTY;
}
