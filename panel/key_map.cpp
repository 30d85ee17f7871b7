// SPDX-License-Identifier: BSD-2-Clause
#include "panel/key_map.h"

#include <Qt>

#include "panel/commands.h"

namespace {

enum KeyModes { kFourLineOnly = 1, kTwoLineOnly = 2 };

struct KeyBinding {
  int qtKey;
  int modes;
  int commandId;
  const char* name;  // the first binding of a command names it in the tooltip
};

// Digits and the arrows as printed on the keys; the function keys in the order they
// stand on the panel, after the four soft keys beside the display. In two-line mode the
// five image keys are ESC, Enter, Up, Down and Right.
constexpr KeyBinding kBindings[] = {
    {Qt::Key_0, kFourLineOnly, 2063, "0"},
    {Qt::Key_1, kFourLineOnly, 2064, "1"},
    {Qt::Key_2, kFourLineOnly, 2065, "2"},
    {Qt::Key_3, kFourLineOnly, 2066, "3"},
    {Qt::Key_4, kFourLineOnly, 2067, "4"},
    {Qt::Key_5, kFourLineOnly, 2068, "5"},
    {Qt::Key_6, kFourLineOnly, 2069, "6"},
    {Qt::Key_7, kFourLineOnly, 2070, "7"},
    {Qt::Key_8, kFourLineOnly, 2071, "8"},
    {Qt::Key_9, kFourLineOnly, 2072, "9"},
    {Qt::Key_Left, kFourLineOnly, 2059, "Left arrow"},
    {Qt::Key_Right, kFourLineOnly, 2060, "Right arrow"},
    {Qt::Key_Up, kFourLineOnly, 2061, "Up arrow"},
    {Qt::Key_Down, kFourLineOnly, 2062, "Down arrow"},
    {Qt::Key_Return, kFourLineOnly, 2077, "Enter"},
    {Qt::Key_Enter, kFourLineOnly, 2077, "Enter"},
    {Qt::Key_Backspace, kFourLineOnly, 2078, "Backspace or Delete"},
    {Qt::Key_Delete, kFourLineOnly, 2078, "Backspace or Delete"},
    {Qt::Key_PageDown, kFourLineOnly, 2079, "Page Down"},
    {Qt::Key_F1, kFourLineOnly, 2073, "F1"},
    {Qt::Key_F2, kFourLineOnly, 2074, "F2"},
    {Qt::Key_F3, kFourLineOnly, 2075, "F3"},
    {Qt::Key_F4, kFourLineOnly, 2076, "F4"},
    {Qt::Key_F5, kFourLineOnly, 2054, "F5"},  // Status
    {Qt::Key_F6, kFourLineOnly, 2055, "F6"},  // Control
    {Qt::Key_F7, kFourLineOnly, 2058, "F7"},  // LogData
    {Qt::Key_F8, kFourLineOnly, 2057, "F8"},  // AppFile
    {Qt::Key_F9, kFourLineOnly, 2056, "F9"},  // SvInfo
    {Qt::Key_Escape, kTwoLineOnly, 2054, "Esc"},
    {Qt::Key_Return, kTwoLineOnly, 2055, "Enter"},
    {Qt::Key_Enter, kTwoLineOnly, 2055, "Enter"},
    {Qt::Key_Up, kTwoLineOnly, 2058, "Up arrow"},
    {Qt::Key_Down, kTwoLineOnly, 2057, "Down arrow"},
    {Qt::Key_Right, kTwoLineOnly, 2056, "Right arrow"},
};

int ModeBit(int displayMode) {
  return displayMode == kTwoLineMode ? kTwoLineOnly : kFourLineOnly;
}

}  // namespace

int CommandForKey(int qtKey, int displayMode) {
  for (const KeyBinding& binding : kBindings) {
    if (binding.qtKey == qtKey && (binding.modes & ModeBit(displayMode))) {
      return binding.commandId;
    }
  }
  return 0;
}

const char* KeyboardNameFor(int commandId, int displayMode) {
  for (const KeyBinding& binding : kBindings) {
    if (binding.commandId == commandId && (binding.modes & ModeBit(displayMode))) {
      return binding.name;
    }
  }
  return nullptr;
}
