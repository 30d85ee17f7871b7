// SPDX-License-Identifier: BSD-2-Clause
// The Device menu: the serial devices this machine has, COM1 to COM20, and any other
// device by its path. Choosing one connects to it.

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <cstdio>
#include <cstring>

#include "base/status_message.h"
#include "panel/connection_controller.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/window_title.h"

namespace {

void ConnectToChosenDevice(Panel& panel) {
  MarkDeviceInUse(panel);
  ShowDeviceLabel(panel, panel.device.deviceLabel);
  panel.controller->Connect(panel.device.portPath, true);
}

QAction* AddPortItem(Panel& panel, const QString& caption, int commandId) {
  auto* action = new QAction(caption, panel.deviceMenu);
  action->setCheckable(true);
  panel.deviceGroup->addAction(action);
  panel.deviceMenu->insertAction(panel.firstComItem, action);
  QObject::connect(action, &QAction::triggered, panel.deviceMenu,
                   [&panel, commandId] { panel.window->Trigger(commandId); });
  panel.actions[commandId] = action;
  return action;
}

// A menu caption shows "&" as a mnemonic mark unless doubled.
QString MenuText(const char* text) {
  return QString::fromLocal8Bit(text).replace('&', "&&");
}

constexpr int kRecentCount = kLastRecentCommand - kFirstRecentCommand + 1;

// A device that is there to open: a path that exists; COM names and servers are tried.
bool DeviceIsThere(const std::string& path) {
  return path.empty() || path[0] != '/' || QFileInfo::exists(QString::fromLocal8Bit(path.c_str()));
}

// The recent devices at the top of the menu, one that has gone greyed, not opened blindly.
void ListRecentDevices(Panel& panel) {
  for (int id = kFirstRecentCommand - 1; id <= kLastRecentCommand; ++id) {
    auto found = panel.actions.find(id);
    if (found == panel.actions.end()) continue;
    delete found->second;
    panel.actions.erase(found);
  }
  if (panel.recentDevices.empty()) return;
  QAction* top = panel.deviceMenu->actions().value(0);
  auto* heading = new QAction("Recent devices", panel.deviceMenu);
  heading->setEnabled(false);
  panel.deviceMenu->insertAction(top, heading);
  panel.actions[kFirstRecentCommand - 1] = heading;
  for (int i = 0; i < static_cast<int>(panel.recentDevices.size()) && i < kRecentCount; ++i) {
    const std::string& path = panel.recentDevices[static_cast<size_t>(i)];
    auto* action = new QAction(MenuText(path.c_str()), panel.deviceMenu);
    action->setEnabled(DeviceIsThere(path));
    if (!action->isEnabled()) action->setToolTip("Not there now");
    panel.deviceMenu->insertAction(top, action);
    int commandId = kFirstRecentCommand + i;
    QObject::connect(action, &QAction::triggered, panel.deviceMenu,
                     [&panel, commandId] { panel.window->Trigger(commandId); });
    panel.actions[commandId] = action;
  }
  panel.deviceMenu->insertSeparator(top);
}

void RemovePortItems(Panel& panel) {
  for (int id = kDeviceInUseCommand; id <= kLastFoundPortCommand; ++id) {
    auto found = panel.actions.find(id);
    if (found == panel.actions.end()) continue;
    delete found->second;
    panel.actions.erase(found);
  }
}

bool PortIsListed(const Panel& panel, const char* path) {
  for (int i = 0; i < panel.foundPorts.count; ++i) {
    if (std::strcmp(panel.foundPorts.ports[i].path, path) == 0) return true;
  }
  return false;
}

}  // namespace

void ChooseComDevice(Panel& panel, int commandId) {
  SelectDeviceItem(panel.device, commandId);
  ConnectToChosenDevice(panel);
}

void ChooseFoundPort(Panel& panel, int commandId) {
  int index = commandId - kFirstFoundPortCommand;
  if (commandId != kDeviceInUseCommand) {
    if (index < 0 || index >= panel.foundPorts.count) return;
    SelectDevicePath(panel.device, panel.foundPorts.ports[index].path);
  }
  ConnectToChosenDevice(panel);
}

void SayDeviceRefused() {
  char text[200];
  std::snprintf(text, sizeof text,
                "The device name given is longer than %d characters, more than a path may be: "
                "not opened. Choose the device in the Device menu.",
                kDeviceNameSize - 1);
  ShowStatusFailure(text);
}

void ChooseOtherDevice(Panel& panel, const char* name) {
  if (std::strlen(name) > kDeviceNameSize - 1) {
    SayDeviceRefused();
    return;
  }
  std::snprintf(panel.device.deviceName, sizeof panel.device.deviceName, "%s", name);
  MatchDeviceName(panel.device);
  ConnectToChosenDevice(panel);
}

void AskForOtherDevice(Panel& panel) {
  bool accepted = false;
  QString name = QInputDialog::getText(panel.window, "Other device",
                                       "Serial device: a path such as /dev/ttyUSB0, COM5,\nor a "
                                       "server: rfc2217://HOST:PORT or tcp://HOST:PORT",
                                       QLineEdit::Normal,
                                       QString::fromLocal8Bit(panel.device.portPath), &accepted);
  name = name.trimmed();
  if (!accepted || name.isEmpty()) return;
  ChooseOtherDevice(panel, name.toLocal8Bit().constData());
}

void NoteRecentDevice(Panel& panel, const char* path) {
  std::vector<std::string>& recent = panel.recentDevices;
  for (auto it = recent.begin(); it != recent.end(); ++it) {
    if (*it == path) {
      recent.erase(it);
      break;
    }
  }
  recent.insert(recent.begin(), path);
  if (recent.size() > static_cast<size_t>(kRecentCount)) recent.resize(kRecentCount);
}

void ChooseRecentDevice(Panel& panel, int commandId) {
  size_t index = static_cast<size_t>(commandId - kFirstRecentCommand);
  if (index >= panel.recentDevices.size()) return;
  std::string path = panel.recentDevices[index];  // the connect reorders the list
  ChooseOtherDevice(panel, path.c_str());
}

void RefreshDeviceMenu(Panel& panel) {
  ListRecentDevices(panel);
  RemovePortItems(panel);
  ListSerialPorts(panel.foundPorts);
  for (int i = 0; i < panel.foundPorts.count; ++i) {
    AddPortItem(panel, MenuText(panel.foundPorts.ports[i].name), kFirstFoundPortCommand + i);
  }
  // A device given by its path that is not among them still shows, marked.
  if (panel.device.deviceItem == 0 && !PortIsListed(panel, panel.device.portPath)) {
    AddPortItem(panel, MenuText(panel.device.portPath), kDeviceInUseCommand);
  }
  MarkDeviceInUse(panel);
}

void MarkDeviceInUse(Panel& panel) {
  int marked = panel.device.deviceItem;
  if (marked == 0) {
    marked = kDeviceInUseCommand;
    for (int i = 0; i < panel.foundPorts.count; ++i) {
      if (std::strcmp(panel.foundPorts.ports[i].path, panel.device.portPath) == 0) {
        marked = kFirstFoundPortCommand + i;
      }
    }
  }
  auto found = panel.actions.find(marked);
  if (found != panel.actions.end()) {
    found->second->setChecked(true);
  } else if (QAction* checked = panel.deviceGroup->checkedAction()) {
    checked->setChecked(false);  // listed at the next opening of the menu
  }
}

void ShowWindowTitle(Panel& panel) {
  const Connection& connection = panel.connection;
  bool lost = connection.state == LinkState::kLost;
  int state = lost ? kTitleLost : IsConnected(connection) ? kTitleConnected : kTitleNotConnected;
  const char* path = lost ? connection.establishedPath : connection.attempt.userPath;
  char title[256];
  WindowTitleText(state, connection.identity.identification, path, title, sizeof title);
  panel.window->setWindowTitle(QString::fromLocal8Bit(title));
}
