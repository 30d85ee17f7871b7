// SPDX-License-Identifier: BSD-2-Clause
#include "sim/sim_line.h"

#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

bool OpenListener(SimLine& line, int port) {
  line.listenHandle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (line.listenHandle < 0) {
    std::fprintf(stderr, "sim: socket failed: %s\n", std::strerror(errno));
    return false;
  }
  int yes = 1;
  setsockopt(line.listenHandle, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(line.listenHandle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(line.listenHandle, 1) != 0) {
    std::fprintf(stderr, "sim: cannot listen on 127.0.0.1:%d: %s\n", port, std::strerror(errno));
    close(line.listenHandle);
    line.listenHandle = -1;
    return false;
  }
  return true;
}

}  // namespace

bool OpenSimLine(SimLine& line, int tcpPort, bool cooked) {
  line.overTcp = tcpPort > 0;
  if (line.overTcp) return OpenListener(line, tcpPort);
  if (!OpenPtyPair(line.pty)) return false;
  return !cooked || CookPtyLine(line.pty);
}

void CloseSimLine(SimLine& line) {
  if (line.client >= 0) close(line.client);
  line.client = -1;
  if (line.listenHandle >= 0) close(line.listenHandle);
  line.listenHandle = -1;
  ClosePtyPair(line.pty);
}

int LineHandle(const SimLine& line) {
  return line.overTcp ? line.client : line.pty.master;
}

void WriteToLine(SimLine& line, const uint8_t* bytes, int count) {
  int written = 0;
  int handle = LineHandle(line);
  while (written < count && handle >= 0) {
    ssize_t n = write(handle, bytes + written, static_cast<size_t>(count - written));
    if (n > 0) {
      written += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      std::fprintf(stderr, "sim: write to the line failed: %s\n", std::strerror(errno));
      return;
    }
    struct pollfd entry = {handle, POLLOUT, 0};
    if (poll(&entry, 1, 1000) <= 0) {
      std::fprintf(stderr, "sim: the line stays full; %d bytes dropped\n", count - written);
      return;
    }
  }
}

void AcceptClient(SimLine& line) {
  int client = accept4(line.listenHandle, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (client < 0) return;
  if (line.client >= 0) {
    close(client);  // one panel at a time
    return;
  }
  line.client = client;
}

void EndClient(SimLine& line) {
  close(line.client);
  line.client = -1;
}

void HangUpLine(SimLine& line) {
  if (line.overTcp) {
    if (line.client >= 0) EndClient(line);
  } else {
    ClosePtyPair(line.pty);
  }
}
