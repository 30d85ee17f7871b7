// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

// The receiver's keys as push buttons: one table gives each key's caption, command id,
// place and the one-byte code it sends.

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

// The five function keys of the two-line panel: image keys, in creation order.
struct ImageKeySpec {
  int commandId;
  int x;
  int imageId;
};
extern const ImageKeySpec kImageKeys[kFunctionKeyCount];
constexpr int kImageKeyY = 100;
constexpr int kImageKeyWidth = 60;
constexpr int kImageKeyHeight = 40;
constexpr int kEscKeyX = 50;
constexpr int kEscKeyY = 33;

constexpr int kImageIds[] = {103, 105, 108, 109, 112, 116};
constexpr int kBannerImageId = 116;

// The code a key command sends in a display mode; -1 for ids that are not keys.
int KeyCodeFor(int commandId, int displayMode);

// The key sent when a layout for a mode completes: ESC in two-line mode, else Next.
uint8_t InitialKeyFor(int displayMode);
