// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <cstdio>

// The files this program writes (dump files, a log folder's lock, recordings) are regular
// files of its own, opened by their own names. Never through a symbolic link, and never a
// folder, a pipe or a device: anyone who may write into a log folder could otherwise have
// the program write, append to or empty any file it can reach, or hang it on a pipe that
// nobody reads.

// An error number of the program's own, beside the system's (errno): the name is taken by
// something other than a regular file. A symbolic link is refused with ELOOP.
constexpr int kNotRegularFile = 100001;

enum RegularFileUse {
  kAppendToFile,      // write-only, at the end; created when absent
  kReadAndWriteFile,  // from its start; created when absent
  kReplaceFile,       // write-only, emptied first; created when absent
};

// Opens the regular file `name` in the folder `folder` (kCurrentFolder: `name` is a path of
// its own). The handle is a file descriptor (on Windows one of the C runtime's). 0, or
// the error: ELOOP for a symbolic link, kNotRegularFile for anything else that is not a
// regular file, or the system's reason. A pipe never makes it wait.
constexpr intptr_t kCurrentFolder = -100;
int OpenRegularFile(intptr_t folder, const char* name, RegularFileUse use, intptr_t& handle);

// The opened file as a C stream for writing, in binary; null (errno set) when it cannot be.
// The stream owns the handle from then on; a handle that could not become one is closed.
FILE* OpenStream(intptr_t handle);

// What is at `path`, not following a symbolic link: 0 for a regular file, ENOENT for
// nothing, ELOOP for a symbolic link, kNotRegularFile for anything else, or the error.
int RegularFileAt(const char* path);

// The system's words for an error number, and the program's own for a name taken by what
// it will not write into: "it is a symbolic link, which Tarnex does not follow: remove it
// or log elsewhere".
const char* FileErrorText(int error);
