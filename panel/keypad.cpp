// SPDX-License-Identifier: BSD-2-Clause
#include "panel/keypad.h"

#include "panel/commands.h"

const ImageKeySpec kImageKeys[kFunctionKeyCount] = {
    {2054, 78, 108},   // ESC
    {2055, 145, 105},  // Enter
    {2058, 212, 112},  // Up
    {2057, 279, 103},  // Down
    {2056, 346, 109},  // Right
};

int KeyCodeFor(int commandId, int displayMode) {
  const KeySpec* key = FindKey(commandId);
  if (key == nullptr) return -1;
  return displayMode == kFourLineMode ? key->fourLineCode : key->twoLineCode;
}

uint8_t InitialKeyFor(int displayMode) {
  return displayMode == kTwoLineMode ? 85 : 80;
}
