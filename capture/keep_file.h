// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// Renames a file unless the new name is taken. 0 on success, else the platform's error
// number (EEXIST when the name is taken).
int RenameWithoutReplacing(const char* from, const char* to);
