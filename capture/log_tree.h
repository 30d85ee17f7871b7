// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <string>

// The log folder's tree as retention walks it: real folders and regular files only. No
// symbolic link (or junction) is ever followed, so that a link that someone put in the
// folder, or a loop of links, can lead nothing out of it: a link is seen as what it is
// and left alone. Each call gives 0 or the system's error number, for the caller to say.

struct TreeFolder {
  intptr_t handle = -1;  // the folder's descriptor where the platform has one
  std::string path;      // for telling the user, and where the platform has no descriptors

  TreeFolder() = default;
  TreeFolder(const TreeFolder&) = delete;
  TreeFolder& operator=(const TreeFolder&) = delete;
  ~TreeFolder();
};

enum TreeEntryKind { kTreeOther, kTreeFolder, kTreeFile };

struct TreeEntry {
  const char* name = "";
  TreeEntryKind kind = kTreeOther;  // a symbolic link is neither a folder nor a file
  int64_t modified = 0;             // a file's last write, in seconds since 1970
};

// The folder the dump files go to ("" for the current one); it may itself be reached
// through a link, as its owner chose.
int OpenTreeRoot(const char* directory, TreeFolder& root);

// A real folder inside `parent`: ELOOP for a symbolic link, ENOTDIR for anything else.
int OpenTreeFolder(const TreeFolder& parent, const char* name, TreeFolder& folder);

// Calls `each` for every entry of the folder (not "." nor "..").
int ListTreeFolder(const TreeFolder& folder, void (*each)(void* context, const TreeEntry& entry),
                   void* context);

// Deletes a regular file of the folder (a link or anything else is refused: ELOOP,
// kNotRegularFile), and an empty folder (ENOTEMPTY when it holds anything).
int RemoveTreeFile(const TreeFolder& folder, const char* name);
int RemoveTreeFolder(const TreeFolder& parent, const char* name);
