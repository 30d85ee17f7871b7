// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// The receiver's keys, for every front end that shows them: each key's caption, command
// id, place on the panel (in the panel's own pixels) and the one-byte code it sends in
// each display mode; and which key of a computer's keyboard stands for which of them.

struct KeySpec {
  const char* caption;
  int commandId;
  int x, y, width, height;
  uint8_t fourLineCode;
  uint8_t twoLineCode;
};

constexpr int kKeyCount = 26;
constexpr int kFunctionKeyCount = 5;  // the first five rows
constexpr int kKeypadButtonCount = kKeyCount - kFunctionKeyCount;

// In creation order: the five function keys, then the 21 keypad buttons.
extern const KeySpec kKeys[kKeyCount];

// The key with this command id; null for ids that are not keys.
const KeySpec* FindKey(int commandId);

enum KeyModes { kFourLineOnly = 1, kTwoLineOnly = 2 };

// A keyboard key, named as browsers name it (KeyboardEvent.key), standing for a
// receiver's key in the display modes `modes`.
struct KeyBinding {
  const char* key;
  int modes;
  int commandId;
  const char* name;  // the first binding of a command names it in a tooltip
};

extern const KeyBinding kKeyBindings[];
extern const int kKeyBindingCount;
