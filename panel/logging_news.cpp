// SPDX-License-Identifier: BSD-2-Clause
// What the window shows of the logging controller's news: the menu's marks, the folder's
// item enabled only while logging is off, and the logging field.

#include <QAction>
#include <QObject>
#include <QWidget>

#include "panel/logging_controller.h"
#include "panel/main_window.h"
#include "panel/panel.h"

void WireLogging(Panel& panel) {
  LoggingController* logging = panel.logging.get();
  QObject::connect(logging, &LoggingController::loggingChanged, panel.window, [&panel](bool on) {
    CheckMenuRadioItem(panel, kLoggingOnCommand, kLoggingOffCommand,
                       on ? kLoggingOnCommand : kLoggingOffCommand);
    auto folder = panel.actions.find(kLogFolderCommand);  // a period keeps to one folder
    if (folder != panel.actions.end()) folder->second->setEnabled(!on);
    ShowLoggingField(panel);
  });
  QObject::connect(logging, &LoggingController::recordingChanged, panel.window, [&panel](bool on) {
    CheckMenuItem(panel, kRecordCommand, on ? 1 : 0);
    ShowLoggingField(panel);
  });
}
