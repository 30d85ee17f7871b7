// SPDX-License-Identifier: BSD-2-Clause
// Notices to systemd: NOTIFY_SOCKET says whether it listens and where, libsystemd reads
// the watchdog's time, and each notice is one datagram sent without waiting (sd_notify
// waits while the manager's queue is full, and a busy manager held the main loop, and the
// stop, for as long as it was busy).
#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "log/service_notify.h"

namespace {

// The manager's socket, "@name" for one in the abstract namespace; false when NOTIFY_SOCKET
// names none.
bool ManagerAddress(sockaddr_un& address, socklen_t& size) {
  const char* path = std::getenv("NOTIFY_SOCKET");
  size_t length = path != nullptr ? std::strlen(path) : 0;
  if (length < 2 || length >= sizeof address.sun_path || (path[0] != '/' && path[0] != '@'))
    return false;
  address = {};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path, length);
  if (path[0] == '@') address.sun_path[0] = '\0';
  size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
  return true;
}

}  // namespace

bool ServiceManagerListens() {
  return std::getenv("NOTIFY_SOCKET") != nullptr;
}

uint64_t ServiceWatchdogUs() {
  uint64_t watchdogUs = 0;
  return sd_watchdog_enabled(0, &watchdogUs) > 0 ? watchdogUs : 0;
}

int SendServiceNotice(const char* message) {
  sockaddr_un address;
  socklen_t size = 0;
  if (!ManagerAddress(address, size)) return EINVAL;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return errno;
  ssize_t sent = sendto(fd, message, std::strlen(message), MSG_NOSIGNAL | MSG_DONTWAIT,
                        reinterpret_cast<const sockaddr*>(&address), size);
  int error = sent < 0 ? errno : 0;
  close(fd);
  return error;
}
