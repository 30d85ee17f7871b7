// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "base/byte_count_text.h"
#include "panel/command_line.h"
#include "panel/commands.h"
#include "panel/message_log.h"
#include "panel/screen_history.h"
#include "panel/screen_render.h"
#include "panel/status_text.h"
#include "panel/window_title.h"
#include "port/parity.h"

namespace {

struct Parsed {
  DeviceChoice device;
  StartOptions options;
};

Parsed Parse(const std::string& text) {
  Parsed parsed;
  SetDefaults(parsed.device, parsed.options);
  ParseCommandLine(text.c_str(), parsed.device, parsed.options);
  MatchDeviceName(parsed.device);
  return parsed;
}

TEST(CommandLine, SwitchesAndDeviceNames) {
  struct Case {
    const char* text;
    const char* portPath;
    const char* label;
    int item;
    int mode;
    int slave;
  } cases[] = {
      {"", "com1", "   com1", 2080, kFourLineMode, 0},
      {"-DCOM3", "COM3", "   com3", 2082, kFourLineMode, 0},
      {"-D COM3", "COM3", "   com3", 2082, kFourLineMode, 0},
      {"/D COM3", "COM3", "   com3", 2082, kFourLineMode, 0},
      {"-d COM3", "COM3", "   com3", 2082, kFourLineMode, 0},
      {"-D COM12", "\\\\.\\com12", "com12", 2091, kFourLineMode, 0},
      {"-D Com3", "Com3", "Com3", 0, kFourLineMode, 0},
      {"-D COM21", "COM21", "COM21", 0, kFourLineMode, 0},
      {"-D /dev/x", "/dev/x", "x", 0, kFourLineMode, 0},
      {"-D /dev/serial/by-id/usb-FTDI", "/dev/serial/by-id/usb-FTDI", "usb-FTD", 0, kFourLineMode,
       0},
      {"-D /dev/ttyUSB0 -2", "/dev/ttyUSB0", "ttyUSB0", 0, kTwoLineMode, 0},
      {"-D rfc2217://base1:2001", "rfc2217://base1:2001", "base1", 0, kFourLineMode, 0},
      {"-D tcp://[fe80::1]:4001", "tcp://[fe80::1]:4001", "[fe80::", 0, kFourLineMode, 0},
      {"-D COM3 -D COM5", "COM5", "   com5", 2084, kFourLineMode, 0},
      {"-2 -4", "com1", "   com1", 2080, kFourLineMode, 0},
      {"-2S", "com1", "   com1", 2080, kTwoLineMode, 0},
      {"-2-S", "com1", "   com1", 2080, kTwoLineMode, 1},
      {"-2 -s", "com1", "   com1", 2080, kTwoLineMode, 1},
      {"-x words 2 S", "com1", "   com1", 2080, kFourLineMode, 0},
      {"-D COM7 -D", "COM7", "   com7", 2086, kFourLineMode, 0},
      {"-D   COM4 -S", "COM4", "   com4", 2083, kFourLineMode, 1},
  };
  for (const Case& c : cases) {
    Parsed parsed = Parse(c.text);
    EXPECT_STREQ(parsed.device.portPath, c.portPath) << c.text;
    EXPECT_STREQ(parsed.device.deviceLabel, c.label) << c.text;
    EXPECT_EQ(parsed.device.deviceItem, c.item) << c.text;
    EXPECT_EQ(parsed.options.displayMode, c.mode) << c.text;
    EXPECT_EQ(parsed.options.slaveMode, c.slave) << c.text;
  }
}

// A long /dev/serial/by-id/ name is taken whole; one longer than a path may be is refused,
// never cut into a path that would be waited for in vain.
TEST(CommandLine, LongDeviceNamesAreTakenWholeOrRefused) {
  std::string byId =
      "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0-" + std::string(100, 'x');
  Parsed parsed = Parse("-D " + byId + " -2");
  EXPECT_EQ(parsed.device.deviceName, byId);
  EXPECT_FALSE(parsed.options.deviceRefused);
  EXPECT_EQ(parsed.options.displayMode, kTwoLineMode);
  Parsed tooLong = Parse("-D /dev/" + std::string(300, 'x') + " -2");
  EXPECT_TRUE(tooLong.options.deviceRefused);
  EXPECT_STREQ(tooLong.device.deviceName, "com1") << "the default stands";
  EXPECT_EQ(tooLong.options.displayMode, kTwoLineMode);
}

ScreenImage Image(uint8_t fill, uint8_t cursor) {
  ScreenImage image;
  std::memset(image.bytes, fill, kScreenCells);
  image.bytes[kScreenCells] = cursor;
  return image;
}

TEST(RenderScreen, TranslatesTheDisplayCodes) {
  struct Case {
    uint8_t code, shown;
  } cases[] = {{0x00, 'A'}, {0x01, 0xAB}, {0x02, 0xBA}, {0xDF, 0xBA}, {0x03, '='},
               {0x07, '='}, {0x60, '\\'}, {0x41, 'A'},  {0x08, 0x08}, {0xE0, 0xE0}};
  for (const Case& c : cases) EXPECT_EQ(TranslateLcdChar(c.code), c.shown) << int(c.code);
  DisplayScreen screen;
  ScreenImage zeros = Image(0x00, 200);
  ASSERT_TRUE(TakeOverScreen(screen, &zeros));
  for (int i = 0; i < kScreenCells; ++i) ASSERT_EQ(screen.held.bytes[i], 'A');
  EXPECT_EQ(Cp1252ToUnicode(0x80), u'\u20AC');
  EXPECT_EQ(Cp1252ToUnicode(0xAB), u'\u00AB');
}

TEST(RenderScreen, CursorBlinksWithEachNewImage) {
  DisplayScreen screen;
  for (int n = 1; n <= 5; ++n) {
    ScreenImage image = Image('x', 0);
    ASSERT_TRUE(TakeOverScreen(screen, &image));
    EXPECT_EQ(screen.held.bytes[0], n % 2 == 1 ? '_' : 'x') << n;
  }
  struct Case {
    uint8_t cursor;
    int markedAt;
  } cases[] = {{159, 159}, {130, 130}, {160, -1}, {255, -1}};
  for (const Case& c : cases) {
    DisplayScreen fresh;
    ScreenImage image = Image('x', c.cursor);
    TakeOverScreen(fresh, &image);
    EXPECT_EQ(fresh.cursorPhase, 1);
    for (int i = 0; i < kScreenCells; ++i) {
      ASSERT_EQ(fresh.held.bytes[i], i == c.markedAt ? '_' : 'x') << int(c.cursor) << " " << i;
    }
  }
}

TEST(RenderScreen, RepaintsFlipThePhaseButTheMarkStays) {
  DisplayScreen screen;
  EXPECT_FALSE(TakeOverScreen(screen, nullptr));
  EXPECT_EQ(screen.cursorPhase, 0) << "nothing held: no flip";
  ScreenImage image = Image('x', 5);
  TakeOverScreen(screen, &image);  // phase 1: mark written
  EXPECT_TRUE(TakeOverScreen(screen, nullptr));
  EXPECT_EQ(screen.cursorPhase, 0);
  EXPECT_EQ(screen.held.bytes[5], '_');
  image = Image('y', 5);
  TakeOverScreen(screen, &image);
  EXPECT_EQ(screen.held.bytes[5], '_');
  TakeOverScreen(screen, &image);
  EXPECT_EQ(screen.held.bytes[5], 'y');
}

// Line ends become blanks; the line is always the field's whole width, padded or cut.
TEST(StatusText, TheMessageLineIsPaddedAndCut) {
  const size_t width = kStatusLineWidth;
  const struct {
    std::string text, line;
  } cases[] = {{"Mon Dec  7\r\nx", "Mon Dec  7  x" + std::string(width - 13, ' ')},
               {"", std::string(width, ' ')},
               {std::string(width + 40, 'q'), std::string(width, 'q')}};
  for (const auto& c : cases) {
    char line[kStatusLineWidth + 1];
    FormatStatusLine(c.text.c_str(), line);
    EXPECT_EQ(std::string(line), c.line) << c.text;
  }
}

// A count is never shown as 1000 of a unit: it rounds into the next.
TEST(StatusText, ByteCountsKeepTheirNumberShort) {
  const struct {
    unsigned long long bytes;
    const char* text;
  } cases[] = {{999, "999 B"},
               {3'400, "3.4 kB"},
               {999'949, "999.9 kB"},
               {999'950, "1.0 MB"},
               {999'949'999, "999.9 MB"},
               {999'950'000, "1.00 GB"},
               {1'234'560'000'000, "1234.56 GB"}};
  for (const auto& c : cases) {
    char text[32];
    ByteCountText(c.bytes, text, sizeof text);
    EXPECT_STREQ(text, c.text) << c.bytes;
  }
}

TEST(WindowTitle, NamesTheReceiverAndItsDevice) {
  const char* const id = "PRODUCT,VELTARIS;PORT,0,0,38400,8,1,N,X;VERSION,1.50";
  const struct {
    int state;
    const char* identification;
    const char* path;
    const char* title;
  } cases[] = {
      {kTitleConnected, id, "/dev/ttyUSB0", "Tarnex - VELTARIS on ttyUSB0"},
      {kTitleLost, id, "/dev/ttyUSB0", "Tarnex - VELTARIS on ttyUSB0 (lost)"},
      {kTitleConnected, id, "\\\\.\\com12", "Tarnex - VELTARIS on com12"},
      {kTitleConnected, id, "/dev/pts/3", "Tarnex - VELTARIS on pts/3"},
      {kTitleConnected, id, "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0",
       "Tarnex - VELTARIS on usb-FTDI_FT232R-if00-port0"},
      {kTitleConnected, "PRODUCT,QZ77,X", "COM3", "Tarnex - QZ77 on COM3"},
      {kTitleConnected, id, "rfc2217://127.0.0.1:2001", "Tarnex - VELTARIS on 127.0.0.1:2001"},
      {kTitleNotConnected, id, "/dev/ttyUSB0", "Tarnex"},
      {kTitleConnected, "garbage", "/dev/ttyUSB0", "Tarnex"},
  };
  for (const auto& c : cases) {
    char title[200];
    WindowTitleText(c.state, c.identification, c.path, title, sizeof title);
    EXPECT_STREQ(title, c.title) << c.path;
  }
}

TEST(StatusText, ConnectedSaysWhatAndHow) {
  const struct {
    const char* identification;
    uint32_t baud;
    int parity;
    const char* text;
  } cases[] = {
      {"PRODUCT,VELTARIS;PORT,1,0,38462,8,1,E,X;VERSION,1.50", 38400, kParityEven,
       "Connected to VELTARIS (firmware 1.50) at 38400 baud, 8E1"},
      {"PRODUCT,QZ77,X;PORT,0,0,115200,8,1,O,X", 115200, kParityOdd,
       "Connected to QZ77 at 115200 baud, 8O1"},
      {"garbage", 9600, kParityNone, "Connected to a receiver at 9600 baud, 8N1"},
  };
  for (const auto& c : cases) {
    char text[200];
    ConnectedText(c.identification, c.baud, c.parity, text, sizeof text);
    EXPECT_STREQ(text, c.text);
  }
}

// A failed try says its reason and then what failed: each pair that comes again only
// counts up; something new is a line of its own.
TEST(MessageLog, RepeatsCountUpEvenInPairs) {
  auto log = std::make_unique<MessageLog>();
  const char* const texts[] = {
      "Checking",          "No such file", "Could not connect", "No such file",
      "Could not connect", "No such file", "Could not connect", "Back"};
  for (int i = 0; i < 8; ++i) AddMessage(*log, texts[i], 0, 100 + i);
  ASSERT_EQ(log->count, 4);
  EXPECT_STREQ(MessageAt(*log, 1).text, "No such file");
  EXPECT_EQ(MessageAt(*log, 1).repeats, 2);
  EXPECT_EQ(MessageAt(*log, 2).repeats, 2);
  EXPECT_EQ(MessageAt(*log, 2).at, 106);
  EXPECT_STREQ(MessageAt(*log, 3).text, "Back");
}

// The history keeps the newest kHistorySize screens, oldest first; the text of a screen is
// what the display draws, translation and (when asked) the cursor mark included.
TEST(ScreenHistory, KeepsTheNewestAndGivesTheDisplaysText) {
  ScreenHistory history;
  ScreenImage image = BlankScreen();
  for (int i = 0; i < kHistorySize + 5; ++i) {
    image.bytes[0] = static_cast<uint8_t>('0' + i % 10);
    AddToHistory(history, image, 1000 + i, i % 1000);
  }
  EXPECT_EQ(history.count, kHistorySize);
  EXPECT_EQ(history.total, static_cast<unsigned long>(kHistorySize + 5));
  EXPECT_EQ(HistoryAt(history, 0).when, 1005);
  EXPECT_EQ(HistoryAt(history, kHistorySize - 1).when, 1000 + kHistorySize + 4);
  EXPECT_EQ(HistoryAt(history, kHistorySize - 1).image.bytes[0], '0' + (kHistorySize + 4) % 10);

  image = BlankScreen();
  const uint8_t codes[] = {0x00, 0x02, 0x05, 0x60, 0xDF, 'Z'};
  for (int i = 0; i < 6; ++i) image.bytes[40 + i] = codes[i];
  image.bytes[kScreenCells] = 159;
  char text[kScreenTextSize];
  ScreenText(image, true, text);
  EXPECT_EQ(std::string(text).size(), 164u);
  EXPECT_EQ(std::string(text + 41, 7), "A\xBA=\\\xBAZ ");
  EXPECT_EQ(text[163 - 1], '_') << "the cursor mark on the last cell";
  ScreenText(image, false, text);
  EXPECT_EQ(text[162], ' ');
}

}  // namespace
