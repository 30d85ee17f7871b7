// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstddef>
#include <ctime>

// A new logging period never empties a file that holds data: the earlier file is first
// kept under a name that says when it was last written.

// The name an earlier dump file is kept under: "<base>-YYYYMMDD-HHMMSS.dmp" from the
// local time it was last written, and "-2", "-3"... behind it when `attempt` is above 1.
void KeptDumpName(const char* baseName, std::time_t written, int attempt, char* out, size_t size);

// Moves an earlier file that holds data out of the way, to a name that says when it was
// last written: posn.dmp to posn-20261207-101530.dmp, session.rec to
// session-20261207-101530.rec ("-2", "-3"... when that is taken). 0 when there was nothing
// to keep (`kept` empty) or it was kept (`kept` names it); else the error number: a name
// taken by a folder, a symbolic link, a pipe or a device is not moved (ELOOP or
// kNotRegularFile), so that a folder given for a file is refused, not renamed.
int KeepEarlierFile(const char* path, char* kept, size_t size);
