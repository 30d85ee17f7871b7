// SPDX-License-Identifier: BSD-2-Clause
#include "port/serial_ports.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "tests/scratch_dir.h"

namespace {

struct FakeSystem {
  ScratchDir scratch;
  std::string root = scratch.Str();

  void Write(const std::string& path, const std::string& text) {
    MakeDirs(path.substr(0, path.rfind('/')));
    std::ofstream(root + "/" + path) << text << "\n";
  }
  void MakeDirs(const std::string& path) {
    EXPECT_EQ(std::system(("mkdir -p " + root + "/" + path).c_str()), 0);
  }
  // A tty of the class, standing for the device folder `device` ("" for a virtual one).
  void Tty(const std::string& name, const std::string& device) {
    MakeDirs("class/tty/" + name);
    if (device.empty()) return;
    MakeDirs(device);
    EXPECT_EQ(
        symlink((root + "/" + device).c_str(), (root + "/class/tty/" + name + "/device").c_str()),
        0);
  }
};

// Which ttys are ports and what they are called: USB adapters by their maker and product
// (looked for above the interface), a legacy port with a UART by its name, a legacy port
// without one and a virtual terminal not at all; numbers in their order.
TEST(SerialPorts, ListsThePortsThatExistUnderNamesAPersonKnows) {
  FakeSystem sys;
  sys.Tty("ttyUSB10", "devices/usb1/1-1/1-1:1.0/ttyUSB10");
  sys.Write("devices/usb1/1-1/product", "FT232R USB UART");
  sys.Write("devices/usb1/1-1/manufacturer", "FTDI");
  sys.Tty("ttyUSB2", "devices/usb1/1-3/1-3:1.0/ttyUSB2");
  sys.Write("devices/usb1/1-3/product", "CP2102 USB to UART Bridge Controller");
  sys.Tty("ttyACM0", "devices/usb1/1-2/1-2:1.0");
  sys.Write("devices/usb1/1-2/product", "Morwick GNSS receiver");
  sys.Write("devices/usb1/1-2/manufacturer", "Morwick");
  sys.Tty("ttyS0", "devices/platform/serial8250/tty/ttyS0");
  sys.Write("class/tty/ttyS0/type", "4");
  sys.Tty("ttyS1", "devices/platform/serial8250/tty/ttyS1");
  sys.Write("class/tty/ttyS1/type", "0");
  sys.Tty("tty0", "");

  PortList list;
  ListSerialPorts(list, sys.root.c_str());
  const char* const expected[][2] = {
      {"/dev/ttyACM0", "Morwick GNSS receiver (ttyACM0)"},
      {"/dev/ttyS0", "Serial port ttyS0"},
      {"/dev/ttyUSB2", "CP2102 USB to UART Bridge Controller (ttyUSB2)"},
      {"/dev/ttyUSB10", "FTDI FT232R USB UART (ttyUSB10)"},
  };
  ASSERT_EQ(list.count, 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(list.ports[i].path, expected[i][0]);
    EXPECT_STREQ(list.ports[i].name, expected[i][1]);
  }
  ListSerialPorts(list, (sys.root + "/nowhere").c_str());
  EXPECT_EQ(list.count, 0);
}

}  // namespace
