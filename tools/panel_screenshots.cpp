// SPDX-License-Identifier: BSD-2-Clause
// Draws the README's pictures of the panel on Qt's offscreen platform, against the
// simulated receiver: TARNEX_SCREENSHOT_DIR=docs ./build/tests/panel_screenshots
// A tool, not a test: it checks nothing but that each picture could be saved.

#include <QSettings>
#include <cstdlib>
#include <sstream>
#include <string>

#include "panel/fix_window.h"
#include "panel/history_window.h"
#include "panel/main_window.h"
#include "tests/panel_fixture.h"
#include "tests/scratch_dir.h"

namespace {

TEST_F(PanelTest, Screenshots) {
  const char* dir = std::getenv("TARNEX_SCREENSHOT_DIR");
  ASSERT_NE(dir, nullptr) << "set TARNEX_SCREENSHOT_DIR to the folder for the pictures";
  ScratchDir scratch;
  Start("");
  Spin(2000);
  EXPECT_TRUE(panel->window->grab().save(QString(dir) + "/panel-four-line.png"));
  DispatchCommand(*panel, kHistoryCommand);
  Spin(300);
  panel->historyWindow->ShowEntry(panel->history.count / 2);
  EXPECT_TRUE(panel->historyWindow->grab().save(QString(dir) + "/history-window.png"));
  // The Fix window on a real receiver's stream: four systems, 43 satellites in view, each
  // second of it as the receiver sent it.
  DispatchCommand(*panel, kFixCommand);
  std::istringstream capture(
      FileText(std::string(TARNEX_SOURCE_DIR) + "/tests/captures/ublox-neo-m9n-nmea.log"));
  std::string second;
  for (std::string line; std::getline(capture, line);) {
    if (line.rfind('$', 0) != 0) continue;
    if (line.find("RMC,") != std::string::npos && !second.empty()) {  // a new second
      SendFromReceiver(receiver, reinterpret_cast<const uint8_t*>(second.data()),
                       static_cast<int>(second.size()));
      Spin(20);
      panel->fixWindow->Refresh();
      second.clear();
    }
    second += line + "\n";
  }
  EXPECT_TRUE(panel->fixWindow->grab().save(QString(dir) + "/fix-window.png"));
  SetDumpDirectory(*panel->connection.capture, scratch.Str());  // the logging field's files
  DispatchCommand(*panel, kLoggingOnCommand);
  SetZoom(*panel, 200);
  Spin(1500);
  EXPECT_TRUE(panel->window->grab().save(QString(dir) + "/panel-four-line-200.png"));
  DispatchCommand(*panel, kLoggingOffCommand);
  panel = std::make_unique<Panel>();
  StopFakeReceiver(receiver);
  Start("-2", kVeltaris);
  Spin(2000);
  EXPECT_TRUE(panel->window->grab().save(QString(dir) + "/panel-two-line.png"));
}

}  // namespace
