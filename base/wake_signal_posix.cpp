// SPDX-License-Identifier: BSD-2-Clause
// The wake signal on Linux: an eventfd, readable while raised.

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

#include "base/trace.h"
#include "base/wake_signal.h"

bool OpenWakeSignal(WakeSignal& wake) {
  wake.handle = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return wake.handle >= 0;
}

void CloseWakeSignal(WakeSignal& wake) {
  if (wake.handle >= 0 && close(static_cast<int>(wake.handle)) != 0) {
    Trace("closing the wake signal failed: %s", std::strerror(errno));
  }
  wake.handle = -1;
}

void RaiseWakeSignal(WakeSignal& wake) {
  uint64_t one = 1;
  if (write(static_cast<int>(wake.handle), &one, sizeof one) < 0 && errno != EAGAIN) {
    Trace("raising the wake signal failed: %s", std::strerror(errno));
  }
}

void ClearWakeSignal(WakeSignal& wake) {
  uint64_t count;
  if (read(static_cast<int>(wake.handle), &count, sizeof count) < 0 && errno != EAGAIN) {
    Trace("clearing the wake signal failed: %s", std::strerror(errno));
  }
}

bool PauseUnlessStopped(const StopSignal* stop, int ms) {
  if (ms > 0 && stop == nullptr) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  } else if (ms > 0) {
    struct pollfd entry = {static_cast<int>(stop->wake.handle), POLLIN, 0};
    while (poll(&entry, 1, ms) < 0 && errno == EINTR) {
    }
  }
  return !StopRaised(stop);
}
