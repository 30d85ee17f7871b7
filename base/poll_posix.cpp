// SPDX-License-Identifier: BSD-2-Clause
#include "base/poll_posix.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "base/trace.h"

int PollWithStop(int fd, const StopSignal* stop, short events, int timeoutMs) {
  int stopHandle = stop != nullptr ? static_cast<int>(stop->wake.handle) : -1;
  struct pollfd entries[2] = {{fd, events, 0}, {stopHandle, POLLIN, 0}};
  int ready;
  do {
    ready = poll(entries, 2, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) {
    Trace("poll failed: %s", std::strerror(errno));
    return -1;
  }
  if (StopRaised(stop)) return kPollStopped;
  return ready == 0 ? 0 : entries[0].revents;
}

int WriteAllPolled(int fd, const StopSignal* stop, const uint8_t* bytes, int n, int stallMs,
                   bool socket, const char* what) {
  int written = 0;
  while (fd >= 0 && written < n) {
    size_t left = static_cast<size_t>(n - written);
    ssize_t count =
        socket ? send(fd, bytes + written, left, MSG_NOSIGNAL) : write(fd, bytes + written, left);
    if (count > 0) {
      written += static_cast<int>(count);
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      Trace("%s failed: %s", what, std::strerror(errno));
      break;
    }
    int ready = PollWithStop(fd, stop, POLLOUT, stallMs);
    if (ready == 0) Trace("%s failed: nothing went out for %d ms", what, stallMs);
    if (ready <= 0 || (ready & (POLLERR | POLLHUP | POLLNVAL)) != 0) break;
  }
  return written;
}
