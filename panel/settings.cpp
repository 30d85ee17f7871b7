// SPDX-License-Identifier: BSD-2-Clause
#include "panel/settings.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>

#include "panel/commands.h"
#include "panel/fix_window.h"
#include "panel/main_window.h"
#include "panel/panel.h"

namespace {

const char* const kDeviceKey = "device";
const char* const kModeKey = "mode";
const char* const kReconnectKey = "automaticReconnect";
const char* const kLogFolderKey = "logFolder";
const char* const kPlaceKey = "windowPlace";
const char* const kZoomKey = "zoom";
const char* const kRecentKey = "recentDevices";
const char* const kFixPlaceKey = "fixWindowPlace";

}  // namespace

std::string RememberedSwitches(QSettings& settings) {
  std::string switches;
  QString device = settings.value(kDeviceKey).toString();
  // The command line is split at blanks: a device whose name holds one is not remembered.
  if (!device.isEmpty() && !device.contains(' ')) {
    switches += "-D " + device.toLocal8Bit().toStdString();
  }
  int mode = settings.value(kModeKey, kFourLineMode).toInt();
  if (mode == kTwoLineMode) switches += switches.empty() ? "-2" : " -2";
  if (!settings.value(kReconnectKey, true).toBool()) switches += switches.empty() ? "-M" : " -M";
  return switches;
}

QString DefaultLogFolder(QSettings& settings) {
  QString chosen = settings.value(kLogFolderKey).toString();
  if (!chosen.isEmpty()) return chosen;
  if (QDir::current() != QDir::home()) return "";
  QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (documents.isEmpty()) return "";
  return QDir(documents).filePath("Tarnex");
}

int RememberedZoom(QSettings& settings) {
  int zoom = settings.value(kZoomKey, 100).toInt();
  return zoom >= 100 && zoom <= 400 ? zoom : 100;
}

void RecallRecentDevices(Panel& panel, QSettings& settings) {
  panel.recentDevices.clear();
  for (const QString& device : settings.value(kRecentKey).toStringList()) {
    panel.recentDevices.push_back(device.toLocal8Bit().toStdString());
  }
}

// A place remembered on a screen that is no longer there (a monitor unplugged) would put the
// window where nobody sees it: it then opens where the system puts a new window.
void RestoreWindowPlace(Panel& panel, QSettings& settings) {
  QVariant place = settings.value(kPlaceKey);
  if (place.isValid() && QGuiApplication::screenAt(place.toPoint() + QPoint(20, 20)) != nullptr)
    panel.window->move(place.toPoint());
  panel.fixWindowPlace = settings.value(kFixPlaceKey).toByteArray();
}

void Remember(const Panel& panel, QSettings& settings) {
  settings.setValue(kDeviceKey, QString::fromLocal8Bit(panel.device.portPath));
  settings.setValue(kModeKey, panel.displayMode);
  settings.setValue(kReconnectKey, panel.connection.settings.autoReconnect != 0);
  if (panel.logFolderChosen) {
    settings.setValue(kLogFolderKey,
                      QString::fromLocal8Bit(panel.connection.capture->dumpDirectory.c_str()));
  }
  QStringList recent;
  for (const std::string& device : panel.recentDevices) {
    recent.append(QString::fromLocal8Bit(device.c_str()));
  }
  settings.setValue(kRecentKey, recent);
  settings.setValue(kZoomKey,  // full screen is for this run; the zoom before it stays
                    panel.zoomBeforeFullScreen != 0 ? panel.zoomBeforeFullScreen : panel.zoom);
  if (panel.window != nullptr) settings.setValue(kPlaceKey, panel.window->pos());
  QByteArray fixPlace =
      panel.fixWindow != nullptr ? panel.fixWindow->saveGeometry() : panel.fixWindowPlace;
  if (!fixPlace.isEmpty()) settings.setValue(kFixPlaceKey, fixPlace);
  settings.sync();
}
