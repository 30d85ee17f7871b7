// SPDX-License-Identifier: BSD-2-Clause
// The connection check's look at the device on Linux: the device node, its permissions and
// group, other processes that hold it (from /proc), ModemManager.

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "log/check_report.h"
#include "port/port_holders.h"

namespace {

bool UserInGroup(gid_t group) {
  if (getegid() == group) return true;
  gid_t groups[256];
  int count = getgroups(256, groups);
  for (int i = 0; i < count; ++i) {
    if (groups[i] == group) return true;
  }
  return false;
}

void CheckPermission(Report& report, const char* path, const struct stat& node) {
  const struct group* group = getgrgid(node.st_gid);
  const char* groupName = group != nullptr ? group->gr_name : "?";
  if (access(path, R_OK | W_OK) == 0) {
    Say(report, false, "you may open %s (group %s)", path, groupName);
    return;
  }
  const struct passwd* user = getpwuid(geteuid());
  const char* userName = user != nullptr ? user->pw_name : "you";
  if (!UserInGroup(node.st_gid) && (node.st_mode & S_IRWXG) == (S_IRGRP | S_IWGRP)) {
    Say(report, true,
        "%s may not open %s: it belongs to the group %s and %s is not in it. Join it "
        "(sudo usermod -aG %s %s) and log in again.",
        userName, path, groupName, userName, groupName, userName);
  } else {
    Say(report, true,
        "%s may not open %s (owner %u, group %s, mode %03o): ask the machine's "
        "administrator for read and write access.",
        userName, path, static_cast<unsigned>(node.st_uid), groupName,
        static_cast<unsigned>(node.st_mode & 0777));
  }
}

// Every process whose open files include the device, as far as this user may look.
void CheckHolders(Report& report, const char* path, const CheckPlaces& places) {
  struct Seen {
    Report& report;
    const char* path;
  } seen = {report, path};
  bool unseen = false;
  int holders = ForEachPortHolder(
      path, places.proc,
      [](void* context, long pid, const char* command) {
        auto* found = static_cast<Seen*>(context);
        Say(found->report, true, "process %ld (%s) holds %s open: end it, or close the port in it.",
            pid, command, found->path);
      },
      &seen, &unseen);
  if (holders == 0) {
    Say(report, false, "no other process holds %s open%s", path,
        unseen && geteuid() != 0 ? " (as far as this user can see; root sees all)" : "");
  }
}

// A device that opens and is no terminal (/dev/null, a file) is no serial port; one that
// cannot be opened is looked at further (permissions, holders).
bool NotATerminal(const char* path) {
  int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool terminal = isatty(fd) == 1;
  close(fd);
  return !terminal;
}

bool ModemManagerRuns(const CheckPlaces& places) {
  DIR* processes = opendir(places.proc);
  if (processes == nullptr) return false;
  bool found = false;
  while (const struct dirent* process = readdir(processes)) {
    if (found || process->d_name[0] < '0' || process->d_name[0] > '9') continue;
    char name[64] = {};
    FILE* comm =
        std::fopen((std::string(places.proc) + "/" + process->d_name + "/comm").c_str(), "r");
    if (comm == nullptr) continue;
    if (std::fgets(name, sizeof name, comm) != nullptr)
      found = std::strncmp(name, "ModemManager", 12) == 0;
    std::fclose(comm);
  }
  closedir(processes);
  return found;
}

void CheckModemManager(Report& report, const char* path, const CheckPlaces& places) {
  if (!ModemManagerRuns(places)) {
    Say(report, false, "ModemManager is not running");
  } else if (std::strstr(path, "ttyACM") != nullptr) {
    Say(report, true,
        "ModemManager is running and probes %s as a modem when it appears, which upsets a "
        "receiver: tell it to leave the device alone (a udev rule with "
        "ENV{ID_MM_DEVICE_IGNORE}=\"1\"; see the README) or stop it (sudo systemctl stop "
        "ModemManager).",
        path);
  } else {
    Note(report,
         "ModemManager is running; it leaves most USB serial adapters alone, but "
         "grabs /dev/ttyACM* devices");
  }
}

}  // namespace

bool CheckDevice(Report& report, const char* path, const CheckPlaces& places) {
  const char* hint = "the kernel's log, sudo dmesg | tail, shows what it saw";
  struct stat node;
  if (stat(path, &node) != 0) {
    Say(report, true, "%s does not exist.", path);
    ListPortsHere(report, places, hint);
    return false;
  }
  Say(report, false, "%s exists%s", path, S_ISCHR(node.st_mode) ? "" : " (not a character device)");
  if (NotATerminal(path)) {
    Say(report, true, "%s is not a serial port: give the receiver's port.", path);
    ListPortsHere(report, places, hint);
    return false;
  }
  CheckPermission(report, path, node);
  CheckHolders(report, path, places);
  CheckModemManager(report, path, places);
  return true;
}
