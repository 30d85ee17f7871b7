// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <chrono>
#include <thread>

// Waits for something another thread or process does: true as soon as `done` says so,
// false when limitMs pass first. The limit is generous on purpose; a passing test never
// waits it out.
template <typename Predicate>
bool WaitUntil(Predicate done, int limitMs = 3000) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
