// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// Windows only (windows_error_text_win32.cpp): the system's own words for an error number
// (GetLastError, WSAGetLastError), without the line end and full stop it adds; "Error N"
// when it has none.
void WindowsErrorText(unsigned long error, char* out, int size);
