// SPDX-License-Identifier: BSD-2-Clause
// The top of the program: start-up in its order, the commands, the timers.

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/status_message.h"
#include "capture/dump_io.h"
#include "panel/connection_controller.h"
#include "panel/display_widget.h"
#include "panel/fix_window.h"
#include "panel/history_window.h"
#include "panel/key_map.h"
#include "panel/keypad.h"
#include "panel/logging_controller.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/settings.h"
#include "panel/status_bar.h"
#include "panel/status_text.h"

namespace {

constexpr int kRelayoutMs = 1000;
const char* const kVersionText = "Tarnex version " TARNEX_VERSION;

const char* const kUsage =
    "usage: tarnex [-D device] [-2 | -4] [-S] [-M]\n"
    "A remote front panel for GPS receivers of the Morwick family on a serial port.\n"
    "  -D device  the receiver's port: com1 (the default) to com20 name the serial\n"
    "             ports; rfc2217://HOST:PORT and tcp://HOST:PORT a serial port served\n"
    "             on the network (ser2net); any other name is a device path, such as\n"
    "             /dev/ttyUSB0 or a link in /dev/serial/by-id/\n"
    "  -2, -4     the two-line or the four-line panel (four lines by default)\n"
    "  -S         slave mode\n"
    "  -M         reconnect by hand only: when the receiver is lost, wait for Connect\n"
    "             instead of reconnecting by itself (Device menu: Automatic reconnect)\n"
    "Switches may also begin with /. Logging (Logging menu) writes posn.dmp, obsd.dmp,\n"
    "corr.dmp and nmea.dmp into the log folder (Logging > Folder...; until one is chosen,\n"
    "the current directory); an earlier file that holds data is kept under its dated\n"
    "name, such as posn-20261207-101530.dmp. The last device, mode and folder are\n"
    "remembered; switches given here win.\n"
    "  --help     this text\n"
    "  --version  the version\n";

void OnRelayoutTick(Panel& panel);

void CreateTimers(Panel& panel) {
  panel.relayoutTimer = new QTimer(panel.window);
  QObject::connect(panel.relayoutTimer, &QTimer::timeout, panel.window,
                   [&panel] { OnRelayoutTick(panel); });
}

// The window's news: the user's commands, its showing, its size, the Device menu's
// opening and the question before it closes.
void WireWindow(Panel& panel) {
  MainWindow* window = panel.window;
  QObject::connect(window, &MainWindow::commandTriggered, window,
                   [&panel](int commandId) { DispatchCommand(panel, commandId); });
  QObject::connect(window, &MainWindow::shown, window, [&panel] { OnWindowShown(panel); });
  QObject::connect(window, &MainWindow::clientResized, window,
                   [&panel] { FitLayoutToWindow(panel); });
  QObject::connect(window, &MainWindow::deviceMenuAboutToShow, window,
                   [&panel] { RefreshDeviceMenu(panel); });
  window->SetCloseGuard([&panel] { return MayClose(panel); });
}

// What waits for a connect's outcome: the layout run of a Connect command, the end of
// start-up.
void WireStartUpSteps(Panel& panel) {
  QObject::connect(panel.controller.get(), &ConnectionController::connectFinished, panel.window,
                   [&panel] {
                     if (panel.connectTailPending) {
                       panel.connectTailPending = false;
                       FinishConnectCommand(panel);
                     }
                     if (panel.startUpPending) {
                       panel.startUpPending = false;
                       FinishStartUp(panel);
                     }
                   });
}

void ShowAbout(Panel& panel) {
  std::string text = std::string(kVersionText) +
                     "\nA remote front panel for GPS receivers of the Morwick family."
                     "\n\nLicence: BSD-2-Clause (the font: DejaVu, free licence)."
                     "\nBuilt with Qt " QT_VERSION_STR ", running on Qt " +
                     qVersion() +
                     ".\nManual: man tarnex; README.md in the sources."
                     "\nHome page: https://tarnex.net/"
                     "\nQuestions and faults: developers@tarnex.net";
  ShowMessageBox(panel, text.c_str(), "About Tarnex");
}

// Logging > Folder...: while logging is off, so that a period never spans two folders.
void ChooseLogFolder(Panel& panel) {
  if (!panel.logging->FolderMayChange()) return;
  QString current = QString::fromLocal8Bit(panel.logging->FolderText().c_str());
  QString folder = QFileDialog::getExistingDirectory(panel.window, "Folder for the logs", current);
  if (folder.isEmpty()) return;
  if (panel.logging->SetFolder(folder.toLocal8Bit().constData())) panel.logFolderChosen = true;
}

void OpenLogFolder(Panel& panel) {
  std::string folder = panel.logging->FolderText();
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(folder.c_str())))) {
    std::string text = "Could not open " + folder + " in the file manager";
    ShowStatusFailure(text.c_str());
  }
}

// Which keyboard key stands for which of the receiver's keys, in the mode shown now.
void ShowKeyboardHelp(Panel& panel) {
  std::string text = panel.displayMode == kTwoLineMode ? "Two-line panel:\n" : "Four-line panel:\n";
  for (const KeySpec& key : kKeys) {
    const char* keyboard = KeyboardNameFor(key.commandId, panel.displayMode);
    if (keyboard == nullptr) continue;
    std::string name = key.caption[0] != '\0' ? key.caption : "Soft key ";
    if (key.caption[0] == '\0') name += static_cast<char>(key.fourLineCode);
    text += name + ":  " + keyboard + "\n";
  }
  ShowMessageBox(panel, text.c_str(), "Tarnex keyboard");
}

void ChooseLogging(Panel& panel, int commandId) {
  bool on = commandId == kLoggingOnCommand;
  if (!panel.logging->SetLogging(on, panel.device.portPath)) {
    CheckMenuRadioItem(panel, kLoggingOnCommand, kLoggingOffCommand, kLoggingOffCommand);
  }
}

void ChooseMode(Panel& panel, int commandId) {
  CheckMenuRadioItem(panel, kTwoLineMode, kFourLineMode, commandId);
  panel.displayMode = commandId;
  PostCommand(panel, kConnectCommand);
}

void ShowStartUpText(Panel& panel) {
  if (!IsConnected(panel.connection)) return;  // the reason the connect failed stays visible
  char text[64];
  std::snprintf(text, sizeof text, "TextDC     :%08xh",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(panel.display)));
  ShowStatusDetail(text);
}

bool HasArgument(int argc, char** argv, const char* wanted) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], wanted) == 0) return true;
  }
  return false;
}

std::string JoinArguments(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  return text;
}

}  // namespace

Panel::Panel()
    : controller(std::make_unique<ConnectionController>()),
      connection(controller->connection()),
      logging(std::make_unique<LoggingController>(connection)) {}

Panel::~Panel() {
  delete fixWindow;  // it reads the connection's fix once a second
  controller->End();
  logging->StopRecording();
  delete historyWindow;
  SetStatusSink(nullptr, nullptr);
  statusBarReady = 0;
  delete window;
}

bool MayClose(Panel& panel) {
  bool logging = panel.logging->IsLogging();
  bool recording = panel.logging->IsRecording();
  if (!logging && !recording) return true;
  std::string text = logging && recording ? "Logging and recording are on."
                     : logging            ? "Logging is on."
                                          : "The session is being recorded.";
  text += " Quit all the same? What was written so far stays on disk.";
  if (panel.question != nullptr) return panel.question(panel.messageBoxContext, text.c_str());
  return QMessageBox::question(panel.window, "Quit Tarnex", QString::fromLatin1(text.c_str())) ==
         QMessageBox::Yes;
}

// The connect runs on the receive worker's thread; the layout run, the mode's key and
// the relayout follow when it has an outcome (FinishConnectCommand).
void ConnectCommand(Panel& panel) {
  if (panel.connection.settings.slaveMode) {
    ShowMessageBox(panel, "Slave communication enabled.", kVersionText);
  }
  ShowDeviceLabel(panel, panel.device.deviceLabel);
  panel.connectTailPending = true;
  panel.controller->Connect(panel.device.portPath, true);
}

void FinishConnectCommand(Panel& panel) {
  ApplyDisplayMode(panel);
  panel.controller->SendKey(panel.displayMode == kTwoLineMode ? 0x55 : 0x50);
  panel.relayoutTimer->start(kRelayoutMs);
  panel.relayoutPending = true;
}

namespace {

// Which function carries out which commands: ids first to last.
struct CommandRoute {
  int first, last;
  void (*run)(Panel& panel, int commandId);
};

const CommandRoute kCommandRoutes[] = {
    {kFirstKeyCommand, kLastKeyCommand,
     [](Panel& p, int id) { p.controller->SendKey(KeyCodeFor(id, p.displayMode)); }},
    {kFirstDeviceCommand, kLastDeviceCommand, ChooseComDevice},
    {kDeviceInUseCommand, kDeviceInUseCommand, ChooseFoundPort},
    {kFirstFoundPortCommand, kLastFoundPortCommand, ChooseFoundPort},
    {kFirstRecentCommand, kLastRecentCommand, ChooseRecentDevice},
    {kOtherDeviceCommand, kOtherDeviceCommand, [](Panel& p, int) { AskForOtherDevice(p); }},
    {kConnectCommand, kConnectCommand, [](Panel& p, int) { ConnectCommand(p); }},
    {kAboutCommand, kAboutCommand, [](Panel& p, int) { ShowAbout(p); }},
    {kFixCommand, kFixCommand, [](Panel& p, int) { ShowFixWindow(p); }},
    {kKeyboardHelpCommand, kKeyboardHelpCommand, [](Panel& p, int) { ShowKeyboardHelp(p); }},
    {kZoomInCommand, kZoomInCommand, [](Panel& p, int) { SetZoom(p, NextZoomStep(p.zoom, 1)); }},
    {kZoomOutCommand, kZoomOutCommand, [](Panel& p, int) { SetZoom(p, NextZoomStep(p.zoom, -1)); }},
    {kZoomResetCommand, kZoomResetCommand, [](Panel& p, int) { SetZoom(p, 100); }},
    {kFullScreenCommand, kFullScreenCommand, [](Panel& p, int) { ToggleFullScreen(p); }},
    {kLogFolderCommand, kLogFolderCommand, [](Panel& p, int) { ChooseLogFolder(p); }},
    {kOpenLogFolderCommand, kOpenLogFolderCommand, [](Panel& p, int) { OpenLogFolder(p); }},
    {kExitCommand, kExitCommand, [](Panel& p, int) { p.window->close(); }},
    {kLoggingOnCommand, kLoggingOnCommand, ChooseLogging},
    {kLoggingOffCommand, kLoggingOffCommand, ChooseLogging},
    {kTwoLineMode, kTwoLineMode, ChooseMode},
    {kFourLineMode, kFourLineMode, ChooseMode},
    {kAutoReconnectCommand, kAutoReconnectCommand,
     [](Panel& p, int) { p.controller->SetAutoReconnect(!p.connection.settings.autoReconnect); }},
    {kHistoryCommand, kHistoryCommand, [](Panel& p, int) { ShowScreenHistory(p); }},
    {kCopyScreenCommand, kCopyScreenCommand, [](Panel& p, int) { CopyCurrentScreen(p); }},
    {kRecordCommand, kRecordCommand, [](Panel& p, int) { ToggleRecording(p); }},
    {kMessagesCommand, kMessagesCommand, [](Panel& p, int) { ShowMessageHistory(p); }},
};

// The relayout after a Connect command: the layout once more, a second after the first.
void OnRelayoutTick(Panel& panel) {
  panel.relayoutTimer->stop();
  if (!panel.relayoutPending) return;
  ApplyDisplayMode(panel);
  panel.relayoutPending = false;
}

}  // namespace

void DispatchCommand(Panel& panel, int commandId) {
  for (const CommandRoute& route : kCommandRoutes) {
    if (commandId >= route.first && commandId <= route.last) {
      route.run(panel, commandId);
      return;
    }
  }
}

void OnWindowShown(Panel& panel) {
  ShowPortLabel(panel, PortLabel(static_cast<uint32_t>(panel.controller->PortNumberShown())));
  RenderScreen(panel, nullptr);
  ShowDeviceLabel(panel, panel.device.deviceLabel);
}

// Everything up to the start of the connect; the window is up and answers while the
// receiver is identified, and FinishStartUp completes it with the connect's outcome.
bool StartUp(Panel& panel, const char* commandLine) {
  panel.statusBarReady = 0;
  StartOptions options;
  SetDefaults(panel.device, options);
  ParseCommandLine(commandLine, panel.device, options);
  panel.displayMode = options.displayMode;
  ConnectionSettings settings;
  settings.slaveMode = options.slaveMode;
  settings.autoReconnect = options.autoReconnect;
  settings.waitsForDevice = true;  // a receiver not yet switched on is waited for
  ConfigureConnection(panel.connection, settings);
  if (CreateMainWindow(panel) == nullptr) return false;
  WireWindow(panel);
  WireConnection(panel);
  WireStartUpSteps(panel);
  WireLogging(panel);
  CreateTimers(panel);
  panel.window->show();
  CreateDisplayPanel(panel);
  CreateStatusBar(panel);
  CreateKeyButtons(panel);
  CheckMenuRadioItem(panel, kLoggingOnCommand, kLoggingOffCommand, kLoggingOffCommand);
  CheckMenuItem(panel, kAutoReconnectCommand, panel.connection.settings.autoReconnect);
  MatchDeviceName(panel.device);
  MarkDeviceInUse(panel);
  if (options.deviceRefused) SayDeviceRefused();
  panel.startUpPending = true;
  DispatchCommand(panel, kConnectCommand);
  return true;
}

void FinishStartUp(Panel& panel) {
  ShowDeviceLabel(panel, panel.device.deviceLabel);
  ShowPortLabel(panel, PortLabel(static_cast<uint32_t>(panel.controller->PortNumberShown())));
  ShowStartUpText(panel);
  LoadImages(panel);
  ApplyDisplayMode(panel);
  CreateBannerImage(panel);
}

int RunTarnex(int argc, char** argv) {
  if (HasArgument(argc, argv, "--help") || HasArgument(argc, argv, "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (HasArgument(argc, argv, "--version")) {
    std::printf("tarnex %s\n", kVersionText + std::strlen("Tarnex version "));
    return 0;
  }
  // Qt takes the options it knows (-style, -display, -platform...) out of argv; the
  // rest is Tarnex's.
  QApplication application(argc, argv);
  QCoreApplication::setOrganizationName("Tarnex");
  QCoreApplication::setApplicationName("Tarnex");
  QSettings settings;
  // What was remembered comes first: the command line's own switches win.
  std::string commandLine = RememberedSwitches(settings) + " " + JoinArguments(argc, argv);
  Panel panel;
  panel.zoom = RememberedZoom(settings);
  RecallRecentDevices(panel, settings);
  QString folder = DefaultLogFolder(settings);
  if (!folder.isEmpty() && MakeFolders(folder.toLocal8Bit().constData()) == 0) {
    SetDumpDirectory(*panel.connection.capture, folder.toLocal8Bit().constData());
  }
  if (!StartUp(panel, commandLine.c_str())) return 0;
  RestoreWindowPlace(panel, settings);
  int status = application.exec();
  Remember(panel, settings);
  return status;
}
