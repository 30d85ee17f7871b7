// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstddef>
#include <cstdint>

// One logger per folder: logging into a folder holds an advisory lock on a small file
// there (.tarnex.lock) that names the process and its device. The system lets go of it
// when the process ends, however it ends, so a crash leaves nothing to clean up.

struct FolderLock {
  intptr_t handle = -1;
};

// Takes the folder's lock for `device`. 0 when taken; else the error number, with
// `holder` saying who has it when that is the reason ("process 4242 (/dev/ttyUSB0)").
int LockFolder(FolderLock& lock, const char* directory, const char* device, char* holder,
               size_t holderSize);

void UnlockFolder(FolderLock& lock);

// A folder lock let go of when this goes out of scope.
struct HeldFolderLock {
  FolderLock lock;
  HeldFolderLock() = default;
  HeldFolderLock(const HeldFolderLock&) = delete;
  HeldFolderLock& operator=(const HeldFolderLock&) = delete;
  ~HeldFolderLock() { UnlockFolder(lock); }
};

// "Could not log into DIR: it is already being logged into by process N (DEVICE)", or the
// system's reason, for LockFolder's result.
void FolderLockText(int error, const char* directory, const char* holder, char* out, size_t size);
