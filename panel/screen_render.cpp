// SPDX-License-Identifier: BSD-2-Clause
#include "panel/screen_render.h"

#include <cstring>

bool TakeOverScreen(DisplayScreen& screen, const ScreenImage* image) {
  if (image != nullptr) {
    screen.held = *image;
    screen.haveScreen = true;
    screen.stale = 0;
    for (int i = 0; i < kScreenCells; ++i)
      screen.held.bytes[i] = TranslateLcdChar(screen.held.bytes[i]);
    screen.plain = screen.held;
  }
  if (!screen.haveScreen) return false;
  if (screen.stale) return true;
  screen.cursorPhase ^= 1;
  uint8_t cursor = screen.held.bytes[kScreenCells];
  if (screen.cursorPhase == 1 && cursor < kScreenCells) screen.held.bytes[cursor] = kCursorMark;
  return true;
}

void MarkScreenStale(DisplayScreen& screen, bool stale) {
  screen.stale = stale ? 1 : 0;
}

const ScreenImage& ShownScreen(const DisplayScreen& screen) {
  return screen.stale ? screen.plain : screen.held;
}

ScreenImage BlankScreen() {
  ScreenImage blank;
  std::memset(blank.bytes, ' ', kScreenCells);
  blank.bytes[kScreenCells] = 0xFF;
  return blank;
}
