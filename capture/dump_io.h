// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// The few file operations the dump files need, one implementation per platform. Each
// gives 0 or the system's error number (errno), so that a failure can be said in the
// system's words where it happens.

struct DumpFile {
  intptr_t handle = -1;
};

// Opens a dump file for appending, creating it when it is not there.
int OpenDumpFile(const char* path, DumpFile& file);

// Its size in bytes.
int DumpFileSize(const DumpFile& file, uint64_t& size);

// Writes every byte or fails; a failure may leave part of them written.
int WriteWhole(DumpFile& file, const uint8_t* bytes, int count);

// Cuts the file back to `size` bytes.
int TruncateDumpFile(DumpFile& file, uint64_t size);

// Hands what was written to the disk itself, so that a power cut does not lose it.
int SyncDumpFile(DumpFile& file);

// Whether the open file is still the one at `path`.
enum DumpFilePlace { kDumpInPlace, kDumpRemoved, kDumpMovedAway };
DumpFilePlace PlaceOfDumpFile(const DumpFile& file, const char* path);

void CloseDumpFile(DumpFile& file);

// Readies the process for dump writes: a file at the system's size limit must fail the
// write (which is said), not end the process.
void PrepareDumpWrites();

// Makes a folder and the folders above it that are missing.
int MakeFolders(const char* path);
