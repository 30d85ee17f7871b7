#include <errno.h>
#include <poll.h>

#include <cstring>

#include "capture/port_wait.h"
#include "link/trace.h"

int WaitForPortOrStop(SerialPort& port, bool watchPort, int timeoutMs) {
  int stopHandle = port.stop != nullptr ? static_cast<int>(port.stop->wake.handle) : -1;
  struct pollfd entries[2] = {{stopHandle, POLLIN, 0}, {watchPort ? port.handle : -1, POLLIN, 0}};
  int ready;
  do {
    ready = poll(entries, 2, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) {
    Trace("poll failed: %s", std::strerror(errno));
    return kPortDown;
  }
  int result = PortStopped(port) ? kStopRaised : 0;
  if (entries[1].revents & POLLIN) result |= kPortReadable;
  if (entries[1].revents & (POLLERR | POLLHUP | POLLNVAL)) result |= kPortDown;
  return result;
}
