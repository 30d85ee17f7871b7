// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// The few file operations the dump files need, one implementation per platform. Each
// gives 0 or the system's error number (errno), so that a failure can be said in the
// system's words where it happens.

struct DumpFile {
  intptr_t handle = -1;
};

// Opens the dump file `name` in `directory` ("" for the current one) for appending,
// creating it when it is not there. `name` may lie in folders below the directory
// (2026/341/posn-20261207.dmp): they are made when missing, and like the file itself they
// must be what they seem, never a symbolic link (ELOOP), so that nobody who may write into
// the log folder can send the receiver's data elsewhere. A directory that is gone is made
// again. The file must be a regular one (kNotRegularFile: base/regular_file.h).
int OpenDumpFile(const char* directory, const char* name, DumpFile& file);

// Its size in bytes.
int DumpFileSize(const DumpFile& file, uint64_t& size);

// Writes every byte or fails; a failure may leave part of them written.
int WriteWhole(DumpFile& file, const uint8_t* bytes, int count);

// Cuts the file back to `size` bytes.
int TruncateDumpFile(DumpFile& file, uint64_t size);

// Hands what was written to the disk itself, so that a power cut does not lose it.
int SyncDumpFile(DumpFile& file);

// Whether the open file is still the one at `path` (itself, not what a link there names).
enum DumpFilePlace { kDumpInPlace, kDumpRemoved, kDumpMovedAway };
DumpFilePlace PlaceOfDumpFile(const DumpFile& file, const char* path);

void CloseDumpFile(DumpFile& file);

// Readies the process for dump writes: a file at the system's size limit must fail the
// write (which is said), not end the process.
void PrepareDumpWrites();

// Makes a folder and the folders above it that are missing.
int MakeFolders(const char* path);
