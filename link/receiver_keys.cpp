// SPDX-License-Identifier: BSD-2-Clause
#include "link/receiver_keys.h"

// The digit pad: three columns of 48 x 25 keys 3 pixels apart, "0" alone under "8".
constexpr int kPadX = 135, kPadY = 168, kPadW = 48, kPadH = 25, kGap = 3;
constexpr int PadX(int column) {
  return kPadX + column * (kPadW + kGap);
}
constexpr int PadY(int row) {
  return kPadY + row * (kPadH + kGap);
}

const KeySpec kKeys[kKeyCount] = {
    {"Status", 2054, 50, 100, 60, 25, 76, 85},
    {"Control", 2055, 113, 100, 60, 25, 77, 81},
    {"LogData", 2058, 176, 100, 60, 25, 79, 82},
    {"AppFile", 2057, 239, 100, 60, 25, 74, 83},
    {"SvInfo", 2056, 302, 100, 60, 25, 75, 84},
    {"<", 2059, 50, 130, 30, 25, 29, 29},
    {"^", 2061, 83, 130, 30, 25, 253, 253},
    {"Clear", 2078, 116, 130, 60, 25, 127, 127},
    {"Enter", 2077, 179, 130, 60, 25, 13, 13},
    {"Next", 2079, 242, 130, 60, 25, 80, 80},
    {"v", 2062, 305, 130, 30, 25, 254, 254},
    {">", 2060, 338, 130, 30, 25, 28, 28},
    {"", 2073, 415, 30, 30, 15, 'A', 'A'},
    {"", 2074, 415, 46, 30, 15, 'B', 'B'},
    {"", 2075, 415, 62, 30, 15, 'C', 'C'},
    {"", 2076, 415, 78, 30, 15, 'D', 'D'},
    {"abc 1", 2064, PadX(0), PadY(0), kPadW, kPadH, '1', '1'},
    {"def 2", 2065, PadX(1), PadY(0), kPadW, kPadH, '2', '2'},
    {"ghi 3", 2066, PadX(2), PadY(0), kPadW, kPadH, '3', '3'},
    {"jkl 4", 2067, PadX(0), PadY(1), kPadW, kPadH, '4', '4'},
    {"mno 5", 2068, PadX(1), PadY(1), kPadW, kPadH, '5', '5'},
    {"pqr 6", 2069, PadX(2), PadY(1), kPadW, kPadH, '6', '6'},
    {"stu 7", 2070, PadX(0), PadY(2), kPadW, kPadH, '7', '7'},
    {"vwx 8", 2071, PadX(1), PadY(2), kPadW, kPadH, '8', '8'},
    {"yz 9", 2072, PadX(2), PadY(2), kPadW, kPadH, '9', '9'},
    {"0", 2063, PadX(1), PadY(3), kPadW, kPadH, '0', '0'},
};

const KeySpec* FindKey(int commandId) {
  for (const KeySpec& key : kKeys) {
    if (key.commandId == commandId) return &key;
  }
  return nullptr;
}

// Digits and the arrows as printed on the keys; the function keys in the order they
// stand on the panel, after the four soft keys beside the display. In two-line mode the
// five image keys are ESC, Enter, Up, Down and Right.
const KeyBinding kKeyBindings[] = {
    {"0", kFourLineOnly, 2063, "0"},
    {"1", kFourLineOnly, 2064, "1"},
    {"2", kFourLineOnly, 2065, "2"},
    {"3", kFourLineOnly, 2066, "3"},
    {"4", kFourLineOnly, 2067, "4"},
    {"5", kFourLineOnly, 2068, "5"},
    {"6", kFourLineOnly, 2069, "6"},
    {"7", kFourLineOnly, 2070, "7"},
    {"8", kFourLineOnly, 2071, "8"},
    {"9", kFourLineOnly, 2072, "9"},
    {"ArrowLeft", kFourLineOnly, 2059, "Left arrow"},
    {"ArrowRight", kFourLineOnly, 2060, "Right arrow"},
    {"ArrowUp", kFourLineOnly, 2061, "Up arrow"},
    {"ArrowDown", kFourLineOnly, 2062, "Down arrow"},
    {"Enter", kFourLineOnly, 2077, "Enter"},
    {"Backspace", kFourLineOnly, 2078, "Backspace or Delete"},
    {"Delete", kFourLineOnly, 2078, "Backspace or Delete"},
    {"PageDown", kFourLineOnly, 2079, "Page Down"},
    {"F1", kFourLineOnly, 2073, "F1"},
    {"F2", kFourLineOnly, 2074, "F2"},
    {"F3", kFourLineOnly, 2075, "F3"},
    {"F4", kFourLineOnly, 2076, "F4"},
    {"F5", kFourLineOnly, 2054, "F5"},  // Status
    {"F6", kFourLineOnly, 2055, "F6"},  // Control
    {"F7", kFourLineOnly, 2058, "F7"},  // LogData
    {"F8", kFourLineOnly, 2057, "F8"},  // AppFile
    {"F9", kFourLineOnly, 2056, "F9"},  // SvInfo
    {"Escape", kTwoLineOnly, 2054, "Esc"},
    {"Enter", kTwoLineOnly, 2055, "Enter"},
    {"ArrowUp", kTwoLineOnly, 2058, "Up arrow"},
    {"ArrowDown", kTwoLineOnly, 2057, "Down arrow"},
    {"ArrowRight", kTwoLineOnly, 2056, "Right arrow"},
};

const int kKeyBindingCount = sizeof kKeyBindings / sizeof kKeyBindings[0];
