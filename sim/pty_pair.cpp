// SPDX-License-Identifier: BSD-2-Clause
#include "sim/pty_pair.h"

#include <asm/termbits.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
int posix_openpt(int flags);
int grantpt(int fd);
int unlockpt(int fd);
int ptsname_r(int fd, char* buf, size_t buflen);
}

bool OpenPtyPair(PtyPair& pty) {
  pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (pty.master < 0) {
    std::fprintf(stderr, "sim: posix_openpt failed: %s\n", std::strerror(errno));
    return false;
  }
  if (grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 ||
      ptsname_r(pty.master, pty.slavePath, sizeof pty.slavePath) != 0) {
    std::fprintf(stderr, "sim: preparing the pty slave failed: %s\n", std::strerror(errno));
    ClosePtyPair(pty);
    return false;
  }
  pty.slaveHold = open(pty.slavePath, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (pty.slaveHold < 0) {
    std::fprintf(stderr, "sim: opening %s failed: %s\n", pty.slavePath, std::strerror(errno));
    ClosePtyPair(pty);
    return false;
  }
  return true;
}

void ClosePtyPair(PtyPair& pty) {
  if (pty.slaveHold >= 0) close(pty.slaveHold);
  if (pty.master >= 0) close(pty.master);
  pty.slaveHold = -1;
  pty.master = -1;
}

bool CookPtyLine(const PtyPair& pty) {
  struct termios2 line;
  if (ioctl(pty.slaveHold, TCGETS2, &line) != 0) {
    std::fprintf(stderr, "sim: TCGETS2 ioctl failed: %s\n", std::strerror(errno));
    return false;
  }
  line.c_iflag |= IXON | IXOFF | ICRNL;
  if (ioctl(pty.slaveHold, TCSETS2, &line) != 0) {
    std::fprintf(stderr, "sim: TCSETS2 ioctl failed: %s\n", std::strerror(errno));
    return false;
  }
  return true;
}

uint32_t PtyLineSpeed(const PtyPair& pty) {
  struct termios2 line;
  if (ioctl(pty.master, TCGETS2, &line) != 0) {
    std::fprintf(stderr, "sim: TCGETS2 ioctl failed: %s\n", std::strerror(errno));
    return 0;
  }
  return line.c_ospeed;
}
