#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "capture/port_wait.h"
#include "link/trace.h"

bool OpenWakeSignal(WakeSignal& wake) {
  wake.handle = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return wake.handle >= 0;
}

void CloseWakeSignal(WakeSignal& wake) {
  if (wake.handle >= 0 && close(wake.handle) != 0) {
    Trace("closing the wake signal failed: %s", std::strerror(errno));
  }
  wake.handle = -1;
}

void RaiseWakeSignal(WakeSignal& wake) {
  uint64_t one = 1;
  if (write(wake.handle, &one, sizeof one) < 0 && errno != EAGAIN) {
    Trace("raising the wake signal failed: %s", std::strerror(errno));
  }
}

void ClearWakeSignal(WakeSignal& wake) {
  uint64_t count;
  if (read(wake.handle, &count, sizeof count) < 0 && errno != EAGAIN) {
    Trace("clearing the wake signal failed: %s", std::strerror(errno));
  }
}

int WaitForPortOrWake(SerialPort& port, WakeSignal& wake, bool watchPort, int timeoutMs) {
  struct pollfd entries[2] = {{wake.handle, POLLIN, 0}, {watchPort ? port.handle : -1, POLLIN, 0}};
  int ready;
  do {
    ready = poll(entries, 2, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) {
    Trace("poll failed: %s", std::strerror(errno));
    return kPortDown;
  }
  int result = 0;
  if (entries[0].revents & POLLIN) {
    ClearWakeSignal(wake);
    result |= kWoken;
  }
  if (entries[1].revents & POLLIN) result |= kPortReadable;
  if (entries[1].revents & (POLLERR | POLLHUP | POLLNVAL)) result |= kPortDown;
  return result;
}
