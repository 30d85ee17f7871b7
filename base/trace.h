// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// A developer's trace of what the link does, on standard error. Switched on by setting
// the environment variable TARNEX_TRACE to anything but "0".

bool TraceEnabled();
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void TraceBytes(const char* what, const unsigned char* bytes, int count);
