// SPDX-License-Identifier: BSD-2-Clause
// Serial devices on Linux: the tty class in sysfs, where each device that stands for
// hardware has a "device" link; a USB adapter's maker and product are found above it.

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>

#include "base/trace.h"
#include "port/serial_ports.h"

namespace {

constexpr int kClassDirSize = 1024;
constexpr int kEntryPathSize = kClassDirSize + 256 + 16;  // the folder, a name, a file

// The first line of a small text file, without its line end; false when unreadable.
bool ReadLine(const char* path, char* out, int size) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) return false;
  bool read = std::fgets(out, size, file) != nullptr;
  std::fclose(file);
  if (!read) return false;
  out[std::strcspn(out, "\r\n")] = '\0';
  return out[0] != '\0';
}

// A legacy 8250 port is listed whether or not a UART is there; type 0 says none is.
bool IsEmptyLegacyPort(const char* classDir, const char* name) {
  if (std::strncmp(name, "ttyS", 4) != 0) return false;
  char path[kEntryPathSize];
  char type[16];
  std::snprintf(path, sizeof path, "%s/%s/type", classDir, name);
  return ReadLine(path, type, sizeof type) && std::strcmp(type, "0") == 0;
}

// The USB device's "manufacturer product", looked for in the device's folder and the few
// above it (the interface, then the device); "" when there is none.
void DescribeDevice(const char* deviceDir, char* out, int size) {
  out[0] = '\0';
  char dir[PATH_MAX];
  std::snprintf(dir, sizeof dir, "%s", deviceDir);
  for (int level = 0; level < 4; ++level) {
    char path[PATH_MAX + 16];
    char product[96];
    std::snprintf(path, sizeof path, "%s/product", dir);
    if (ReadLine(path, product, sizeof product)) {
      char maker[96];
      std::snprintf(path, sizeof path, "%s/manufacturer", dir);
      if (ReadLine(path, maker, sizeof maker) && std::strstr(product, maker) != product) {
        std::snprintf(out, static_cast<size_t>(size), "%s %s", maker, product);
      } else {
        std::snprintf(out, static_cast<size_t>(size), "%s", product);
      }
      return;
    }
    char* slash = std::strrchr(dir, '/');
    if (slash == nullptr || slash == dir) return;
    *slash = '\0';
  }
}

void AddPort(PortList& list, const char* classDir, const char* name) {
  char link[kEntryPathSize];
  char device[PATH_MAX];
  std::snprintf(link, sizeof link, "%s/%s/device", classDir, name);
  if (realpath(link, device) == nullptr) return;  // a virtual terminal, not a port
  if (IsEmptyLegacyPort(classDir, name)) return;
  ListedPort& port = list.ports[list.count++];
  std::snprintf(port.path, sizeof port.path, "/dev/%.240s", name);
  char description[kListedNameSize];
  DescribeDevice(device, description, sizeof description);
  if (description[0] != '\0') {
    std::snprintf(port.name, sizeof port.name, "%.150s (%.30s)", description, name);
  } else {
    std::snprintf(port.name, sizeof port.name, "Serial port %.150s", name);
  }
}

}  // namespace

void ListSerialPorts(PortList& list, const char* systemDirectory) {
  list.count = 0;
  char classDir[kClassDirSize];
  std::snprintf(classDir, sizeof classDir, "%s/class/tty",
                systemDirectory != nullptr ? systemDirectory : "/sys");
  DIR* listing = opendir(classDir);
  if (listing == nullptr) {
    Trace("cannot list %s: %s", classDir, std::strerror(errno));
    return;
  }
  while (list.count < kMaxListedPorts) {
    errno = 0;
    const struct dirent* entry = readdir(listing);
    if (entry == nullptr) {
      if (errno != 0) Trace("reading %s failed: %s", classDir, std::strerror(errno));
      break;
    }
    if (entry->d_name[0] != '.') AddPort(list, classDir, entry->d_name);
  }
  closedir(listing);
  SortPortList(list);
}

bool ComNamesAreTheSystems() {
  return false;
}
