// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// The main window's title: the receiver and the device it is on, once connected.

enum TitleState { kTitleNotConnected, kTitleConnected, kTitleLost };

// "Tarnex", "Tarnex - VELTARIS on ttyUSB0", or the same with " (lost)". `identification`
// is the receiver's identification text, `path` the device as opened.
void WindowTitleText(int state, const char* identification, const char* path, char* out, int size);
