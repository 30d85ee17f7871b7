// SPDX-License-Identifier: BSD-2-Clause
// TCP connections on Linux: non-blocking sockets waited on with poll, beside the port's
// stop signal.

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/poll_posix.h"
#include "base/tick.h"
#include "base/trace.h"
#include "port/socket.h"

namespace {

constexpr int kStopped = kPollStopped;

int Fd(const TcpSocket& socket) {
  return static_cast<int>(socket.handle);
}

// One address: connected within the time left, or the reason it was not.
int TryAddress(const struct addrinfo* address, const StopSignal* stop, const Deadline& deadline,
               int& error) {
  int fd = socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                  address->ai_protocol);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  if (connect(fd, address->ai_addr, address->ai_addrlen) == 0) return fd;
  if (errno == EINPROGRESS) {
    int ready = PollWithStop(fd, stop, POLLOUT, DeadlineRemainingMs(deadline));
    socklen_t size = sizeof error;
    if (ready > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) {
      return fd;
    }
    if (ready == 0) error = ETIMEDOUT;
    if (ready == kStopped) error = ECANCELED;
  } else {
    error = errno;
  }
  close(fd);
  return -1;
}

}  // namespace

namespace {

// A device server that lost its power behind a router leaves the connection open and
// silent: probes after 10 s of quiet, 5 s apart, find it gone within about 30 s, and
// bytes that stay unacknowledged for 30 s end the connection too.
void KeepAlive(int fd) {
  const struct {
    int level, name, value;
    const char* what;
  } options[] = {{SOL_SOCKET, SO_KEEPALIVE, 1, "SO_KEEPALIVE"},
                 {IPPROTO_TCP, TCP_KEEPIDLE, 10, "TCP_KEEPIDLE"},
                 {IPPROTO_TCP, TCP_KEEPINTVL, 5, "TCP_KEEPINTVL"},
                 {IPPROTO_TCP, TCP_KEEPCNT, 4, "TCP_KEEPCNT"},
                 {IPPROTO_TCP, TCP_USER_TIMEOUT, 30000, "TCP_USER_TIMEOUT"}};
  for (const auto& option : options) {
    if (setsockopt(fd, option.level, option.name, &option.value, sizeof option.value) != 0) {
      Trace("%s failed: %s", option.what, std::strerror(errno));
    }
  }
}

}  // namespace

int ConnectSocket(TcpSocket& socket, const StopSignal* stop, const char* host, const char* service,
                  int timeoutMs, char* failure, int failureSize) {
  struct addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  struct addrinfo* addresses = nullptr;
  int looked = getaddrinfo(host, service, &hints, &addresses);
  if (looked != 0) {
    std::snprintf(failure, static_cast<size_t>(failureSize), "Host not found (%s)",
                  gai_strerror(looked));
    return -1;
  }
  Deadline deadline;
  SetDeadline(deadline, timeoutMs / 1000.0);
  int error = 0;
  int fd = -1;
  for (const struct addrinfo* a = addresses; a != nullptr && fd < 0; a = a->ai_next) {
    fd = TryAddress(a, stop, deadline, error);
    if (error == ECANCELED || DeadlinePassed(deadline)) break;
  }
  freeaddrinfo(addresses);
  if (fd < 0) {
    std::snprintf(failure, static_cast<size_t>(failureSize), "%s", std::strerror(error));
    failure[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(failure[0])));
    return -1;
  }
  int on = 1;  // keys and polls are small: no waiting to fill a segment
  if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
    Trace("TCP_NODELAY failed: %s", std::strerror(errno));
  }
  KeepAlive(fd);
  socket.handle = fd;
  return 0;
}

int SendSocket(TcpSocket& socket, const StopSignal* stop, const uint8_t* bytes, int n,
               int stallMs) {
  return WriteAllPolled(Fd(socket), stop, bytes, n, stallMs, true, "send");
}

int ReceiveSocket(TcpSocket& socket, uint8_t* buffer, int n) {
  if (socket.handle < 0) return -1;
  ssize_t count = recv(Fd(socket), buffer, static_cast<size_t>(n), 0);
  if (count > 0) return static_cast<int>(count);
  if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
  if (count < 0) Trace("recv failed: %s", std::strerror(errno));
  return -1;  // 0 bytes: the peer has closed the connection
}

int WaitForSocket(TcpSocket& socket, const StopSignal* stop, int timeoutMs) {
  if (socket.handle < 0) return -1;
  int ready = PollWithStop(Fd(socket), stop, POLLIN, timeoutMs);
  if (ready == kStopped || ready == 0 || ready == -1) return ready;
  return 1;  // data, or the end of the connection, which the receive then finds
}

void CloseSocket(TcpSocket& socket) {
  if (socket.handle < 0) return;
  if (close(Fd(socket)) != 0) Trace("close failed: %s", std::strerror(errno));
  socket.handle = -1;
}
