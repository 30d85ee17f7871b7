// SPDX-License-Identifier: BSD-2-Clause
// The serial device on Linux: termios2 for any baud rate, TIOCEXCL and flock for exclusive
// use, non-waiting reads, and poll for the waits.

#include <asm/termbits.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/poll_posix.h"
#include "base/status_message.h"
#include "base/trace.h"
#include "port/port.h"
#include "port/port_backend.h"
#include "port/port_holders.h"
#include "port/port_name.h"

namespace {

constexpr int kWriteStallMs = 1000;

// The device's descriptor, kept in the port's state pointer.
int Fd(const Port& port) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(port.state));
}

void ShowOpenFailure(int error, const char* path) {
  char text[400];
  if (error == EACCES) {
    struct stat node;
    const char* group = nullptr;
    if (stat(path, &node) == 0) {
      const struct group* owner = getgrgid(node.st_gid);
      if (owner != nullptr) group = owner->gr_name;
    }
    std::snprintf(text, sizeof text, "%s: %s (to use it, join the group %s)", std::strerror(error),
                  path, group != nullptr ? group : "that owns the device");
  } else {
    char holder[120] = "";  // a busy port: who has it
    if (error == EBUSY) PortHolderText(path, holder, sizeof holder);
    std::snprintf(text, sizeof text, "%s: %s%s", std::strerror(error), path, holder);
  }
  Trace("open %s failed: %s", path, std::strerror(error));
  ShowStatusFailure(text);
}

bool CloseHandle(int handle) {
  if (close(handle) == 0) return true;
  Trace("close failed: %s", std::strerror(errno));
  return false;
}

// Takes the device for ourselves: flock refuses a second well-behaved program (root
// included), TIOCEXCL refuses any other opener but root.
bool TakeExclusively(int handle, const char* path) {
  if (flock(handle, LOCK_EX | LOCK_NB) != 0) {
    int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ShowOpenFailure(error, path);
    return false;
  }
  if (ioctl(handle, TIOCEXCL) != 0 && errno != ENOTTY) {
    // ENOTTY: not a terminal; setting the time-outs refuses it below.
    ShowOpenFailure(errno, path);
    return false;
  }
  return true;
}

// Raw bytes both ways, and reads that return at once with whatever is there. Hardware
// flow control and parity checking stay as the device reports them.
bool SetRawNonWaiting(int handle) {
  struct termios2 line;
  if (ioctl(handle, TCGETS2, &line) != 0) {
    Trace("TCGETS2 ioctl failed: %s", std::strerror(errno));
    return false;
  }
  line.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON |
                    IXOFF | IXANY | IMAXBEL);
  line.c_oflag &= ~OPOST;
  line.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  line.c_cflag |= CLOCAL | CREAD;
  line.c_cc[VMIN] = 0;
  line.c_cc[VTIME] = 0;
  if (ioctl(handle, TCSETS2, &line) != 0) {
    Trace("TCSETS2 ioctl failed: %s", std::strerror(errno));
    return false;
  }
  return true;
}

struct StandardRate {
  uint32_t baud;
  unsigned code;
};

constexpr StandardRate kStandardRates[] = {
    {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};

void SetSpeed(struct termios2& line, uint32_t baud) {
  line.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));  // input speed follows output speed
  unsigned code = BOTHER;
  for (const StandardRate& rate : kStandardRates) {
    if (rate.baud == baud) code = rate.code;
  }
  line.c_cflag |= code;
  line.c_ispeed = baud;
  line.c_ospeed = baud;
}

void SetFraming(struct termios2& line, int parity) {
  line.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
  line.c_cflag |= CS8;
  if (parity == kParityOdd) line.c_cflag |= PARENB | PARODD;
  if (parity == kParityEven) line.c_cflag |= PARENB;
}

constexpr int kStopped = kPollStopped;

// Waits for `events` on the port or for its stop signal (see PollWithStop).
int PollPort(Port& port, short events, int timeoutMs) {
  return PollWithStop(Fd(port), port.stop, events, timeoutMs);
}

void CloseDevice(Port& port) {
  // The exclusive flag stays on the terminal while anyone else holds it open (a
  // pseudo-terminal's other side does): left set, it would refuse our own next open.
  if (ioctl(Fd(port), TIOCNXCL) != 0 && errno != ENOTTY) {
    Trace("TIOCNXCL ioctl failed: %s", std::strerror(errno));
  }
  CloseHandle(Fd(port));
}

int OpenDevice(Port& port, const char* path) {
  char device[256];
  MapDevicePath(path, device, sizeof device);
  int handle = open(device, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (handle < 0) {
    ShowOpenFailure(errno, device);
    return -1;
  }
  if (!TakeExclusively(handle, device)) {
    CloseHandle(handle);
    return -1;
  }
  if (!SetRawNonWaiting(handle)) {
    ShowStatusFailure("Error setting timeout structures.");
    CloseHandle(handle);
    return -1;
  }
  port.state = reinterpret_cast<void*>(static_cast<std::intptr_t>(handle));
  return 0;
}

int SetDeviceLine(Port& port, uint32_t baud, int parity) {
  struct termios2 line;
  if (ioctl(Fd(port), TCGETS2, &line) != 0) {
    Trace("TCGETS2 ioctl failed: %s", std::strerror(errno));
    ShowStatusFailure("Could not retrieve comm settings.");
    return -1;
  }
  SetSpeed(line, baud);
  SetFraming(line, parity);
  if (ioctl(Fd(port), TCSETS2, &line) != 0) {
    Trace("TCSETS2 ioctl failed: %s", std::strerror(errno));
    ShowStatusFailure("Could not set comm settings.");
    return -1;
  }
  return 0;
}

int SendDeviceBreak(Port& port) {
  if (ioctl(Fd(port), TIOCSBRK) != 0) Trace("TIOCSBRK ioctl failed: %s", std::strerror(errno));
  PauseUnlessStopped(port.stop, kBreakMs);
  if (ioctl(Fd(port), TIOCCBRK) != 0) {
    Trace("TIOCCBRK ioctl failed: %s", std::strerror(errno));
    return -1;
  }
  return 0;
}

bool LineHungUp(int handle) {
  struct pollfd entry = {handle, POLLIN, 0};
  return poll(&entry, 1, 0) > 0 && (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

int ReadDevice(Port& port, uint8_t* buffer, int n) {
  ssize_t count = read(Fd(port), buffer, static_cast<size_t>(n));
  if (count > 0) return static_cast<int>(count);
  if (count == 0) {
    // Nothing there, or the device is gone: a hung-up line also reads as 0 bytes.
    if (!LineHungUp(Fd(port))) return 0;
    Trace("read failed: the line is hung up");
    return -1;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
  Trace("read failed: %s", std::strerror(errno));
  return -1;
}

int WriteDevice(Port& port, const uint8_t* buffer, int n) {
  return WriteAllPolled(Fd(port), port.stop, buffer, n, kWriteStallMs, false, "write");
}

int WaitForDevice(Port& port, int timeoutMs, int hangUpPauseMs) {
  int ready = PollPort(port, POLLIN, timeoutMs);
  if (ready == kStopped) return -2;
  if (ready < 0) return -1;
  if (ready == 0) return 0;
  if (ready & (POLLERR | POLLHUP | POLLNVAL)) {
    return PauseUnlessStopped(port.stop, hangUpPauseMs) ? -1 : -2;
  }
  return 1;
}

}  // namespace

const PortBackend kSerialDeviceBackend = {
    "serial device", OpenDevice,  SetDeviceLine, SendDeviceBreak, nullptr,
    ReadDevice,      WriteDevice, WaitForDevice, CloseDevice,
};
