// SPDX-License-Identifier: BSD-2-Clause
#include "log/check_report.h"

#include <string>

#include "port/serial_ports.h"

void ListPortsHere(Report& report, const CheckPlaces& places, const char* hint) {
  PortList list;
  ListSerialPorts(list, places.sys);
  if (list.count == 0) {
    char text[400];
    std::snprintf(text, sizeof text,
                  "no serial devices are found here: is the adapter plugged in? (%s)", hint);
    Note(report, text);
    return;
  }
  std::string text = "the serial devices here:";
  for (int i = 0; i < list.count; ++i) {
    text += std::string(" ") + list.ports[i].path + " (" + list.ports[i].name + ")";
    if (i + 1 < list.count) text += ",";
  }
  Note(report, text.c_str());
}
