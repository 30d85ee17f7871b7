// SPDX-License-Identifier: BSD-2-Clause
#include "panel/screen_render.h"

#include <cstring>

uint8_t TranslateLcdChar(uint8_t code) {
  switch (code) {
    case 0x00:
      return 'A';
    case 0x01:
      return 0xAB;
    case 0x02:
    case 0xDF:
      return 0xBA;
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
    case 0x07:
      return '=';
    case 0x60:
      return '\\';
    default:
      return code;
  }
}

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

char16_t Cp1252ToUnicode(uint8_t byte) {
  // 0x80..0x9F differ from Latin-1; unassigned ones stay as their C1 control.
  static const char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (byte >= 0x80 && byte <= 0x9F) return kHigh[byte - 0x80];
  return byte;
}

ScreenImage BlankScreen() {
  ScreenImage blank;
  std::memset(blank.bytes, ' ', kScreenCells);
  blank.bytes[kScreenCells] = 0xFF;
  return blank;
}
