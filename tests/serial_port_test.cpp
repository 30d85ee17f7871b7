// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "port/port.h"
#include "port/port_name.h"
#include "port/serial_ports.h"
#include "port/stable_name.h"
#include "sim/pty_pair.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

struct PtyFixture : ::testing::Test {
  PtyPair pty;
  Port port;
  StatusCapture status;

  void SetUp() override { ASSERT_TRUE(OpenPtyPair(pty)); }
  void TearDown() override {
    ClosePort(port);
    ClosePtyPair(pty);
  }
  void MasterWrite(const Bytes& bytes) {
    ASSERT_EQ(write(pty.master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  Bytes MasterRead(size_t want) {
    Bytes got;
    auto until = Clock::now() + std::chrono::seconds(2);
    while (got.size() < want && Clock::now() < until) {
      struct pollfd entry = {pty.master, POLLIN, 0};
      if (poll(&entry, 1, 50) <= 0) continue;
      uint8_t chunk[512];
      ssize_t n = read(pty.master, chunk, sizeof chunk);
      if (n > 0) got.insert(got.end(), chunk, chunk + n);
    }
    return got;
  }
  Bytes PortRead(size_t want) {
    Bytes got;
    auto until = Clock::now() + std::chrono::seconds(2);
    while (got.size() < want && Clock::now() < until) {
      uint8_t chunk[512];
      int n = ReadPort(port, chunk, sizeof chunk);
      got.insert(got.end(), chunk, chunk + n);
      if (n == 0) WaitForInput(port, 50);
    }
    return got;
  }
};

TEST(MapDevicePath, ComNamesMeanTheNthSerialPort) {
  struct Case {
    const char* name;
    const char* path;
  } cases[] = {
      {"com1", "/dev/ttyS0"},
      {"COM3", "/dev/ttyS2"},
      {"\\\\.\\com12", "/dev/ttyS11"},
      {"\\\\.\\COM20", "/dev/ttyS19"},
      {"Com3", "Com3"},
      {"COM03", "COM03"},
      {"COM1:", "COM1:"},
      {"com0", "com0"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"/dev/pts/7", "/dev/pts/7"},
      {"com", "com"},
  };
  for (const Case& c : cases) {
    char out[64];
    MapDevicePath(c.name, out, sizeof out);
    EXPECT_STREQ(out, c.path) << c.name;
  }
}

TEST_F(PtyFixture, OpenSetsRawLineAt9600AndReadsNeverWait) {
  ASSERT_EQ(OpenPort(port, pty.slavePath), 0);
  EXPECT_TRUE(status.Saw("Communications opened."));
  EXPECT_EQ(PtyLineSpeed(pty), 9600u);
  EXPECT_EQ(port.lineParity, kParityNone);

  uint8_t buffer[16];
  auto start = Clock::now();
  EXPECT_EQ(ReadPort(port, buffer, sizeof buffer), 0);
  // A read that waited at all would wait at least the line's shortest time-out, 100 ms.
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(90));

  // CR, LF, XON, XOFF, ^C, ^\, DEL and a high byte pass both ways untouched.
  Bytes touchy = {'\r', '\n', 0x11, 0x13, 0x03, 0x1C, 0x7F, 0xFF, 0x04, '\n'};
  MasterWrite(touchy);
  EXPECT_EQ(PortRead(touchy.size()), touchy);
  ASSERT_EQ(WritePort(port, touchy.data(), static_cast<int>(touchy.size())),
            static_cast<int>(touchy.size()));
  EXPECT_EQ(MasterRead(touchy.size()), touchy);
  EXPECT_EQ(status.Count("read failure."), 0);
}

TEST_F(PtyFixture, OpenTwiceReopensAndASecondHolderIsRefused) {
  ASSERT_EQ(OpenPort(port, pty.slavePath), 0);
  ASSERT_EQ(OpenPort(port, pty.slavePath), 0);
  Port other;
  EXPECT_EQ(OpenPort(other, pty.slavePath), -1);
  EXPECT_TRUE(status.Saw(std::string("Device or resource busy: ") + pty.slavePath));
  EXPECT_FALSE(PortIsOpen(other));
  ClosePort(port);
  EXPECT_EQ(OpenPort(other, pty.slavePath), 0);
}

TEST_F(PtyFixture, OpenFailuresNameTheErrorAndThePath) {
  EXPECT_EQ(OpenPort(port, "/dev/tarnex-no-such-device"), -1);
  EXPECT_TRUE(status.Saw("No such file or directory: /dev/tarnex-no-such-device"));
  EXPECT_FALSE(PortIsOpen(port));

  // Not a terminal: it opens, then the time-outs cannot be set.
  ScratchDir scratch;
  std::string path = scratch / "not-a-tty";
  std::ofstream(path).put('x');
  EXPECT_EQ(OpenPort(port, path.c_str()), -1);
  EXPECT_TRUE(status.Saw("Error setting timeout structures."));
  EXPECT_FALSE(PortIsOpen(port)) << "a failed open holds nothing";

  ASSERT_EQ(OpenPort(port, pty.slavePath), 0);
}

TEST_F(PtyFixture, LineSettingsPassAnyBaudAndRefuseAnUnknownParity) {
  ASSERT_EQ(OpenPort(port, pty.slavePath), 0);
  for (uint32_t baud : {38400u, 38462u, 115200u, 12345u}) {
    EXPECT_EQ(SetLineSettings(port, baud, kParityEven), 0);
    EXPECT_EQ(PtyLineSpeed(pty), baud);
    EXPECT_EQ(port.lineParity, kParityEven);
  }
  EXPECT_EQ(SetLineSettings(port, 4800, 3), -1);
  EXPECT_TRUE(status.Saw("Un-recognized parity"));
  EXPECT_EQ(PtyLineSpeed(pty), 12345u);
  EXPECT_EQ(port.lineParity, kParityEven);
  EXPECT_EQ(SetLineSettings(port, 0, kParityNone), -1);
  EXPECT_TRUE(status.Saw("Could not set comm settings."));
  EXPECT_EQ(PtyLineSpeed(pty), 12345u);
}

TEST_F(PtyFixture, FlushInputDrainsWhatIsWaiting) {
  ASSERT_EQ(OpenPort(port, pty.slavePath), 0);
  MasterWrite(Bytes(650, 'x'));
  ASSERT_EQ(WaitForInput(port, 2000), 1) << "the bytes have reached the port";
  FlushInput(port);
  uint8_t buffer[16];
  EXPECT_EQ(ReadPort(port, buffer, sizeof buffer), 0);
  MasterWrite({'a', 'b'});
  EXPECT_EQ(PortRead(2), (Bytes{'a', 'b'}));
}

// Bytes that keep coming without a pause (a receiver at another baud rate) must not hold
// the flush: each read waits ~10 ms at most, and the whole flush ends on its own.
TEST_F(PtyFixture, FlushInputEndsWhileBytesKeepComing) {
  ASSERT_EQ(OpenPort(port, pty.slavePath), 0);
  std::atomic<bool> streaming{true};
  std::thread stream([&] {
    Bytes noise(64, 'N');
    while (streaming) {
      if (write(pty.master, noise.data(), noise.size()) < 0) std::this_thread::yield();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  auto start = Clock::now();
  FlushInput(port);
  auto took = Clock::now() - start;
  streaming = false;
  stream.join();
  EXPECT_LT(took, std::chrono::milliseconds(1000));
}

// A line that takes nothing (flow control held off) fails the write instead of holding
// the caller for ever.
TEST_F(PtyFixture, AWriteTheLineNeverTakesFails) {
  ASSERT_EQ(OpenPort(port, pty.slavePath), 0);
  Bytes big(1 << 20, 'w');  // far more than a terminal buffers; nobody reads the master
  EXPECT_EQ(WritePort(port, big.data(), static_cast<int>(big.size())), 0);
  EXPECT_TRUE(status.Saw("Write data failed."));
}

// Raised from another thread, the port's stop signal ends each of its waits at once.
TEST_F(PtyFixture, AStopEndsEveryWaitOnThePort) {
  ASSERT_EQ(OpenPort(port, pty.slavePath), 0);
  StopSignal stop;
  ASSERT_TRUE(OpenStopSignal(stop));
  port.stop = &stop;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    RaiseStopSignal(stop);
  });
  auto start = Clock::now();
  EXPECT_EQ(WaitForInput(port, 5000), -2);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
  stopper.join();
  start = Clock::now();
  SendBreak(port);
  Bytes big(1 << 20, 'w');
  EXPECT_EQ(WritePort(port, big.data(), static_cast<int>(big.size())), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200)) << "break and write";
  EXPECT_FALSE(status.Saw("Write data failed.")) << "a stop is no failure of the line";
  port.stop = nullptr;
  CloseStopSignal(stop);
}

TEST_F(PtyFixture, BreakTakes300Milliseconds) {
  ASSERT_EQ(OpenPort(port, pty.slavePath), 0);
  auto start = Clock::now();
  EXPECT_EQ(SendBreak(port), 0);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
}

TEST_F(PtyFixture, HangUpShowsOneReadFailureAndWritesFail) {
  ASSERT_EQ(OpenPort(port, pty.slavePath), 0);
  ClosePtyPair(pty);
  uint8_t buffer[16];
  for (int i = 0; i < 5; ++i) EXPECT_EQ(ReadPort(port, buffer, sizeof buffer), 0);
  EXPECT_EQ(status.Count("read failure."), 1);
  EXPECT_EQ(WaitForInput(port, 10), -1);
  EXPECT_EQ(WritePort(port, buffer, 4), 0);
  EXPECT_TRUE(status.Saw("Write data failed."));
}

TEST_F(PtyFixture, StableNameIsTheLinkThatLeadsToTheDevice) {
  ScratchDir scratch;
  std::string directory = scratch.Str();
  const char* pattern = directory.c_str();
  std::string adapter = directory + "/usb-FTDI_FT232R_USB_UART_A1-if00-port0";
  std::string other = directory + "/usb-Other_Device-if00";
  ASSERT_EQ(symlink("/dev/null", other.c_str()), 0);
  ASSERT_EQ(symlink(pty.slavePath, adapter.c_str()), 0);
  char out[256];
  ASSERT_TRUE(FindStableDeviceName(pty.slavePath, out, sizeof out, pattern));
  EXPECT_EQ(std::string(out), adapter);
  ASSERT_TRUE(FindStableDeviceName(adapter.c_str(), out, sizeof out, pattern)) << "given itself";
  EXPECT_EQ(std::string(out), adapter);
  EXPECT_FALSE(FindStableDeviceName("/dev/zero", out, sizeof out, pattern));
  EXPECT_FALSE(FindStableDeviceName("/dev/tarnex-missing", out, sizeof out, pattern));
  EXPECT_FALSE(FindStableDeviceName(pty.slavePath, out, sizeof out, (scratch / "none").c_str()));
}

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
