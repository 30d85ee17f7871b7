// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "capture/screen_text.h"
#include "capture/shared_screen.h"

// What the display holds and how it blinks, apart from drawing it.
struct DisplayScreen {
  ScreenImage held;   // translated, with the cursor mark written into it
  ScreenImage plain;  // translated, without the mark: what a stale screen shows
  bool haveScreen = false;
  int cursorPhase = 0;
  int stale = 0;  // the receiver is lost: the last screen stands greyed, without a cursor
};

constexpr uint8_t kCursorMark = '_';

// Takes over `image` if one is given (null: a repaint), flips the blink phase and writes
// the cursor mark when the phase turns on. true when there is something to draw. A new
// image ends the stale state; a repaint of a stale screen leaves the blink alone.
bool TakeOverScreen(DisplayScreen& screen, const ScreenImage* image);

void MarkScreenStale(DisplayScreen& screen, bool stale);

// The characters to draw: the held screen, or the plain one while stale.
const ScreenImage& ShownScreen(const DisplayScreen& screen);

// A screen of 160 blanks and no cursor.
ScreenImage BlankScreen();
