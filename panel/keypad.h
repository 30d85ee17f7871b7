// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "link/receiver_keys.h"

// The receiver's keys as the Qt panel lays them out: the table of keys is in
// link/receiver_keys.h; here the two-line panel's image keys and the codes by mode.

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
