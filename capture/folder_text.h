// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstddef>

// The folder the dump files go to, as a full path, for telling the user.
void DumpDirectoryText(const char* directory, char* out, size_t size);
