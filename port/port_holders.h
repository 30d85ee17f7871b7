// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// Which processes hold a device open (Linux: their open files under /proc), so that a
// busy port can be told apart from a missing one and its holder named.

// Calls `each` with the process id and its command name for every process other than
// this one that holds `path` open, as far as this user may look (`unseen` tells whether
// some processes could not be looked at). Returns how many hold it.
int ForEachPortHolder(const char* path, const char* procRoot,
                      void (*each)(void* context, long pid, const char* command), void* context,
                      bool* unseen);

// " (held by tarnex-log, process 1234)" for the first holder found; "" when none is seen.
void PortHolderText(const char* path, char* out, int size);
