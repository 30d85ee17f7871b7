// SPDX-License-Identifier: BSD-2-Clause
#include "capture/shared_screen.h"

#include <cstring>

void StoreScreen(SharedScreen& shared, const uint8_t* data, int length) {
  size_t count = static_cast<size_t>(length < kScreenImageSize ? length : kScreenImageSize);
  std::lock_guard<std::mutex> hold(shared.lock);
  std::memcpy(shared.image.bytes, data, count);
}

ScreenImage& CopySharedScreen(SharedScreen& shared, ScreenImage& destination) {
  std::lock_guard<std::mutex> hold(shared.lock);
  destination = shared.image;
  return destination;
}
