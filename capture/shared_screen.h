// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>
#include <mutex>

// The receiver's display: 160 characters in its display codes, 4 lines of 40 row by
// row, then the cursor index (0..159; 160 or more: no cursor). Also a screen packet's data.
constexpr int kScreenColumns = 40;
constexpr int kScreenLines = 4;
constexpr int kScreenCells = kScreenColumns * kScreenLines;
constexpr int kScreenImageSize = kScreenCells + 1;

struct ScreenImage {
  uint8_t bytes[kScreenImageSize] = {};
};

// The last screen received. The worker writes it and the user-interface thread copies it,
// both under the lock, so that a copy never sees half of an image.
struct SharedScreen {
  std::mutex lock;
  ScreenImage image;
};

// A screen packet's data replaces the leading bytes of the shared image, at most 161.
void StoreScreen(SharedScreen& shared, const uint8_t* data, int length);
ScreenImage& CopySharedScreen(SharedScreen& shared, ScreenImage& destination);
