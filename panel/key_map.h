// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// The computer's keyboard as the receiver's keys: which key command a key on the keyboard
// stands for in each display mode, and how a button's tooltip names that key.

// The key command (2054..2079) for a Qt key code in a display mode; 0 when none.
int CommandForKey(int qtKey, int displayMode);

// The keyboard key that sends a key command in a display mode, for its tooltip, such as
// "Enter (Return)"; null when no key does.
const char* KeyboardNameFor(int commandId, int displayMode);
