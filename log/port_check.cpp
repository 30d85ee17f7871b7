// SPDX-License-Identifier: BSD-2-Clause
// The connection check: the platform's look at the device (port_check_*.cpp), then a
// probe of the line at 9600 baud and, when nothing answers, a listen at each common rate.

#include "log/port_check.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/status_message.h"
#include "base/tick.h"
#include "capture/dump_news.h"
#include "capture/nmea_ring.h"
#include "link/rx_ring.h"
#include "log/check_report.h"
#include "port/port.h"
#include "port/port_name.h"
#include "port/serial_ports.h"

namespace {

constexpr uint8_t kEnq = 0x05, kAck = 0x06;
constexpr uint32_t kScanRates[] = {4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kListenMs = 1300;  // a receiver sends its data at least once a second

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
    if (!CheckDevice(report, path, places) || report.problems > 0) return report.problems;
  }
  ProbeLine(report, device);
  return report.problems;
}
