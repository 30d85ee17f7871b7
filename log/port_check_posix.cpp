// SPDX-License-Identifier: BSD-2-Clause
// The connection check on Linux: the device node, its permissions and group, other
// processes that hold it (from /proc), ModemManager, then a probe of the line.

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/status_message.h"
#include "base/tick.h"
#include "capture/dump_news.h"
#include "capture/nmea_ring.h"
#include "link/rx_ring.h"
#include "log/port_check.h"
#include "port/port.h"
#include "port/port_holders.h"
#include "port/port_name.h"
#include "port/serial_ports.h"

namespace {

constexpr uint8_t kEnq = 0x05, kAck = 0x06;
constexpr uint32_t kScanRates[] = {4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kListenMs = 1300;  // a receiver sends its data at least once a second

struct Report {
  void (*print)(void*, const char*);
  void* context;
  int problems = 0;
};

template <typename... Args>
void Say(Report& report, bool problem, const char* format, Args... args) {
  char line[1024];
  int used = std::snprintf(line, sizeof line, "%s", problem ? "PROBLEM: " : "ok: ");
  std::snprintf(line + used, sizeof line - static_cast<size_t>(used), format, args...);
  report.print(report.context, line);
  if (problem) ++report.problems;
}

void Note(Report& report, const char* text) {
  char line[1024];
  std::snprintf(line, sizeof line, "note: %s", text);
  report.print(report.context, line);
}

void ListPortsHere(Report& report, const CheckPlaces& places) {
  PortList list;
  ListSerialPorts(list, places.sys);
  if (list.count == 0) {
    Note(report,
         "no serial devices are found here: is the adapter plugged in? (the kernel's log, "
         "sudo dmesg | tail, shows what it saw)");
    return;
  }
  std::string text = "the serial devices here:";
  for (int i = 0; i < list.count; ++i) {
    text += std::string(" ") + list.ports[i].path + " (" + list.ports[i].name + ")";
    if (i + 1 < list.count) text += ",";
  }
  Note(report, text.c_str());
}

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

// Listens a while at one rate: how many valid NMEA sentences and frames came.
void Listen(Port& port, uint32_t baud, int& sentences, int& frames) {
  sentences = frames = 0;
  if (SetLineSettings(port, baud, kParityNone) != 0) return;
  FlushInput(port);
  auto nmea = std::make_unique<NmeaRing>();
  auto ring = std::make_unique<RxRing>();
  int linkState = kNothingReceived;
  Packet packet;
  char sentence[kSentenceBufferSize];
  Deadline deadline;
  SetDeadline(deadline, kListenMs / 1000.0);
  uint8_t chunk[256];
  while (!DeadlinePassed(deadline)) {
    if (WaitForInput(port, DeadlineRemainingMs(deadline)) != 1) continue;
    int n = ReadPort(port, chunk, sizeof chunk);
    PushNmea(*nmea, chunk, n);
    PushReceived(*ring, chunk, n);
    while (PullSentence(*nmea, sentence) == 1) ++sentences;
    int pulled;
    while ((pulled = PullPacket(*ring, linkState, packet)) != -1) frames += pulled == 0;
  }
}

bool AnswersEnq(Port& port) {
  FlushInput(port);
  if (WritePort(port, &kEnq, 1) != 1) return false;
  Deadline deadline;
  SetDeadline(deadline, 0.5);
  uint8_t chunk[64];
  while (!DeadlinePassed(deadline)) {
    if (WaitForInput(port, DeadlineRemainingMs(deadline)) != 1) continue;
    int n = ReadPort(port, chunk, sizeof chunk);
    for (int i = 0; i < n; ++i) {
      if (chunk[i] == kAck) return true;
    }
  }
  return false;
}

// Status texts of the serial port (why an open failed) come here while the probe runs.
void KeepFailure(const StatusEvent& event, void* context) {
  if (event.kind == kStatusFailure) StatusEventText(event, static_cast<char*>(context), 512);
}

void ProbeLine(Report& report, const char* device) {
  char failure[512] = "";
  SetStatusSink(KeepFailure, failure);
  Port port;
  if (OpenPort(port, device) != 0) {
    SetStatusSink(nullptr, nullptr);
    Say(report, true, "could not open %s: %s", device, failure);
    return;
  }
  if (AnswersEnq(port)) {
    SetStatusSink(nullptr, nullptr);
    Say(report, false, "a receiver answers on %s at 9600 baud (ACK): tarnex-log -D %s", device,
        device);
    return;
  }
  Say(report, true, "no answer to the probe at 9600 baud; listening at each common rate...");
  bool heard = false;
  for (uint32_t baud : kScanRates) {
    int sentences = 0, frames = 0;
    Listen(port, baud, sentences, frames);
    if (sentences + frames == 0) continue;
    heard = true;
    char line[400];
    std::snprintf(line, sizeof line,
                  "at %u baud the line carries %d NMEA sentences and %d frames: something "
                  "sends there; a receiver that does not answer ENQ may need its port's "
                  "settings checked (or a break: the panel and tarnex-log send one)",
                  baud, sentences, frames);
    Note(report, line);
  }
  SetStatusSink(nullptr, nullptr);
  if (!heard) {
    Note(report,
         "nothing came at any common rate: check the cable (a null-modem cable or "
         "adapter where one is needed), that the receiver is on, and which of its "
         "ports the cable is on");
  }
}

}  // namespace

int CheckPort(const char* device, void (*print)(void*, const char*), void* context,
              const CheckPlaces& places) {
  Report report{print, context};
  if (!IsNetworkName(device)) {
    char path[kListedPathSize];
    MapDevicePath(device, path, sizeof path);
    struct stat node;
    if (stat(path, &node) != 0) {
      Say(report, true, "%s does not exist.", path);
      ListPortsHere(report, places);
      return report.problems;
    }
    Say(report, false, "%s exists%s", path,
        S_ISCHR(node.st_mode) ? "" : " (not a character device)");
    if (NotATerminal(path)) {
      Say(report, true, "%s is not a serial port: give the receiver's port.", path);
      ListPortsHere(report, places);
      return report.problems;
    }
    CheckPermission(report, path, node);
    CheckHolders(report, path, places);
    CheckModemManager(report, path, places);
    if (report.problems > 0) return report.problems;
  }
  ProbeLine(report, device);
  return report.problems;
}
