// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// "3.4 kB": bytes in the unit that keeps the number short (powers of 1000, as disks and
// the program's own size options count).
void ByteCountText(unsigned long long bytes, char* out, int size);
