// SPDX-License-Identifier: BSD-2-Clause
#include "panel/key_map.h"

#include <Qt>
#include <cstring>

#include "link/receiver_keys.h"
#include "panel/commands.h"

namespace {

// Qt's key codes under the names the bindings give the keys.
struct QtKeyName {
  int qtKey;
  const char* name;
};

constexpr QtKeyName kQtKeyNames[] = {
    {Qt::Key_0, "0"},
    {Qt::Key_1, "1"},
    {Qt::Key_2, "2"},
    {Qt::Key_3, "3"},
    {Qt::Key_4, "4"},
    {Qt::Key_5, "5"},
    {Qt::Key_6, "6"},
    {Qt::Key_7, "7"},
    {Qt::Key_8, "8"},
    {Qt::Key_9, "9"},
    {Qt::Key_Left, "ArrowLeft"},
    {Qt::Key_Right, "ArrowRight"},
    {Qt::Key_Up, "ArrowUp"},
    {Qt::Key_Down, "ArrowDown"},
    {Qt::Key_Return, "Enter"},
    {Qt::Key_Enter, "Enter"},
    {Qt::Key_Backspace, "Backspace"},
    {Qt::Key_Delete, "Delete"},
    {Qt::Key_PageDown, "PageDown"},
    {Qt::Key_Escape, "Escape"},
    {Qt::Key_F1, "F1"},
    {Qt::Key_F2, "F2"},
    {Qt::Key_F3, "F3"},
    {Qt::Key_F4, "F4"},
    {Qt::Key_F5, "F5"},
    {Qt::Key_F6, "F6"},
    {Qt::Key_F7, "F7"},
    {Qt::Key_F8, "F8"},
    {Qt::Key_F9, "F9"},
};

const char* NameOf(int qtKey) {
  for (const QtKeyName& key : kQtKeyNames) {
    if (key.qtKey == qtKey) return key.name;
  }
  return nullptr;
}

int ModeBit(int displayMode) {
  return displayMode == kTwoLineMode ? kTwoLineOnly : kFourLineOnly;
}

}  // namespace

int CommandForKey(int qtKey, int displayMode) {
  const char* name = NameOf(qtKey);
  if (name == nullptr) return 0;
  for (int i = 0; i < kKeyBindingCount; ++i) {
    const KeyBinding& binding = kKeyBindings[i];
    if (std::strcmp(binding.key, name) == 0 && (binding.modes & ModeBit(displayMode))) {
      return binding.commandId;
    }
  }
  return 0;
}

const char* KeyboardNameFor(int commandId, int displayMode) {
  for (int i = 0; i < kKeyBindingCount; ++i) {
    const KeyBinding& binding = kKeyBindings[i];
    if (binding.commandId == commandId && (binding.modes & ModeBit(displayMode))) {
      return binding.name;
    }
  }
  return nullptr;
}
