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

#include "base/byte_count_text.h"
#include "base/status_message.h"
#include "capture/dump_io.h"
#include "capture/dump_streams.h"
#include "capture/folder_text.h"
#include "capture/logging_switch.h"
#include "panel/connection_controller.h"
#include "panel/display_widget.h"
#include "panel/fix_window.h"
#include "panel/history_window.h"
#include "panel/key_map.h"
#include "panel/keypad.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/settings.h"
#include "panel/status_bar.h"
#include "panel/status_text.h"
#include "recorder/recording.h"

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

void CreateTimers(Panel& panel) {
  panel.relayoutTimer = new QTimer(panel.window);
  QObject::connect(panel.relayoutTimer, &QTimer::timeout, panel.window,
                   [&panel] { OnTimer(panel, kRelayoutTimerId); });
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

void SetLogFolder(Panel& panel, const char* folder) {
  SetDumpDirectory(*panel.connection.capture, folder);
  char shown[kDumpPathSize];
  DumpDirectoryText(folder, shown, sizeof shown);
  std::string text = std::string("Logs will go to ") + shown;
  ShowStatusMessage(text.c_str());
}

// Logging > Folder...: while logging is off, so that a period never spans two folders.
void ChooseLogFolder(Panel& panel) {
  if (LoggingOn(panel.connection.capture->logging)) {
    ShowStatusMessage("Switch logging off to choose another folder.");
    return;
  }
  char current[kDumpPathSize];
  DumpDirectoryText(panel.connection.capture->dumpDirectory.c_str(), current, sizeof current);
  QString folder = QFileDialog::getExistingDirectory(panel.window, "Folder for the logs",
                                                     QString::fromLocal8Bit(current));
  if (folder.isEmpty()) return;
  SetLogFolder(panel, folder.toLocal8Bit().constData());
  panel.logFolderChosen = true;
}

void OpenLogFolder(Panel& panel) {
  char folder[kDumpPathSize];
  DumpDirectoryText(panel.connection.capture->dumpDirectory.c_str(), folder, sizeof folder);
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(folder)))) {
    std::string text = std::string("Could not open ") + folder + " in the file manager";
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

void NoteCountsAtLoggingOn(Panel& panel) {
  for (int i = 0; i < kDumpStreamCount; ++i) {
    const DumpCount& count = DumpCountOf(*panel.connection.capture, i);
    panel.itemsAtLoggingOn[i] = count.items - count.removedItems;
    panel.bytesAtLoggingOn[i] = count.bytes - count.removedBytes;
    panel.lostAtLoggingOn[i] = count.lostItems;
  }
  panel.sentencesDroppedAtLoggingOn = SentencesDropped(*panel.connection.capture);
}

// "Logging off: posn 12 items (3.4 kB), ... written to /home/ann/logs", with what was lost.
void SayWhatWasLogged(Panel& panel) {
  std::string text = "Logging off:";
  unsigned long lost = 0;
  for (int i = 0; i < kDumpStreamCount; ++i) {
    PeriodCount period = LoggedThisPeriod(panel, i);
    char amount[24];
    ByteCountText(period.bytes, amount, sizeof amount);
    char part[80];
    std::snprintf(part, sizeof part, "%s %s %lu (%s)", i == 0 ? "" : ",", kDumpStreams[i].baseName,
                  period.items, amount);
    text += part;
    lost += period.lost;
  }
  char folder[kDumpPathSize];
  DumpDirectoryText(panel.connection.capture->dumpDirectory.c_str(), folder, sizeof folder);
  text += std::string(" written to ") + folder;
  if (lost > 0) text += "; " + std::to_string(lost) + " items could not be written (see Messages)";
  unsigned long dropped = LoggedThisPeriod(panel, kNmeaStream).dropped;
  if (dropped > 0) {
    text += "; " + std::to_string(dropped) + " NMEA sentences from the receiver were not valid " +
            "(no checksum, a wrong one, or over 255 characters) and were dropped";
  }
  if (lost > 0) {
    ShowStatusFailure(text.c_str());
  } else {
    ShowStatusMessage(text.c_str());
  }
}

// Logging On takes the dump folder's lock first: a second program logging into the same
// folder would write over this one's files.
void ChooseLogging(Panel& panel, int commandId) {
  bool on = commandId == kLoggingOnCommand;
  bool wasOn = LoggingOn(panel.connection.capture->logging) != 0;
  const char* folder = panel.connection.capture->dumpDirectory.c_str();
  if (on && !wasOn) {
    char holder[300];
    int error = LockFolder(panel.loggingLock, folder, panel.device.portPath, holder, sizeof holder);
    if (error != 0) {
      char text[1000];
      FolderLockText(error, folder, holder, text, sizeof text);
      ShowStatusFailure(text);
      CheckMenuRadioItem(panel, kLoggingOnCommand, kLoggingOffCommand, kLoggingOffCommand);
      return;
    }
  }
  SetLogging(panel.connection.capture->logging, on ? 1 : 0);
  if (!on) UnlockFolder(panel.loggingLock);
  CheckMenuRadioItem(panel, kLoggingOnCommand, kLoggingOffCommand, commandId);
  if (!on && wasOn) SayWhatWasLogged(panel);
  if (on && !wasOn) NoteCountsAtLoggingOn(panel);
  ShowLoggingField(panel);
  if (!on || wasOn) return;
  char directory[400];
  DumpDirectoryText(folder, directory, sizeof directory);
  char text[500];
  std::snprintf(text, sizeof text, "Logging to %s (posn.dmp, obsd.dmp, corr.dmp, nmea.dmp)",
                directory);
  ShowStatusMessage(text);
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

PeriodCount LoggedThisPeriod(const Panel& panel, int stream) {
  const DumpCount& count = DumpCountOf(*panel.connection.capture, stream);
  PeriodCount period;
  period.items = count.items - count.removedItems - panel.itemsAtLoggingOn[stream];
  period.bytes = count.bytes - count.removedBytes - panel.bytesAtLoggingOn[stream];
  period.lost = count.lostItems - panel.lostAtLoggingOn[stream];
  if (stream == kNmeaStream)
    period.dropped =
        SentencesDropped(*panel.connection.capture) - panel.sentencesDroppedAtLoggingOn;
  return period;
}

Panel::Panel()
    : controller(std::make_unique<ConnectionController>()), connection(controller->connection()) {}

Panel::~Panel() {
  delete fixWindow;  // it reads the connection's fix once a second
  controller->End();
  StopSessionRecording(*this);
  delete historyWindow;
  SetStatusSink(nullptr, nullptr);
  statusBarReady = 0;
  delete window;
}

void ShowMessageBox(Panel& panel, const char* text, const char* caption) {
  if (panel.messageBox != nullptr) {
    panel.messageBox(panel.messageBoxContext, text, caption);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(caption), QString::fromLatin1(text),
                  QMessageBox::Ok, panel.window);
  box.exec();
}

bool MayClose(Panel& panel) {
  bool logging = LoggingOn(panel.connection.capture->logging) != 0;
  bool recording = !panel.recordingPath.empty();
  if (!logging && !recording) return true;
  std::string text = logging && recording ? "Logging and recording are on."
                     : logging            ? "Logging is on."
                                          : "The session is being recorded.";
  text += " Quit all the same? What was written so far stays on disk.";
  if (panel.question != nullptr) return panel.question(panel.messageBoxContext, text.c_str());
  return QMessageBox::question(panel.window, "Quit Tarnex", QString::fromLatin1(text.c_str())) ==
         QMessageBox::Yes;
}

void PostCommand(Panel& panel, int commandId) {
  QMetaObject::invokeMethod(
      panel.window, [&panel, commandId] { DispatchCommand(panel, commandId); },
      Qt::QueuedConnection);
}

// The connect runs on the receive worker's thread; the layout run, the mode's key and
// the relayout follow when it has an outcome (FinishConnectCommand).
void ConnectCommand(Panel& panel) {
  if (panel.connection.slaveMode) {
    ShowMessageBox(panel, "Slave communication enabled.", kVersionText);
  }
  ShowDeviceLabel(panel, panel.device.deviceLabel);
  panel.connectTailPending = true;
  Connect(panel);
}

void FinishConnectCommand(Panel& panel) {
  ApplyDisplayMode(panel);
  SendKey(panel, panel.displayMode == kTwoLineMode ? 0x55 : 0x50);
  panel.relayoutTimer->start(kRelayoutMs);
  panel.relayoutPending = true;
}

void DispatchCommand(Panel& panel, int commandId) {
  if (commandId >= kFirstKeyCommand && commandId <= kLastKeyCommand) {
    SendKey(panel, KeyCodeFor(commandId, panel.displayMode));
  } else if (commandId >= kFirstDeviceCommand && commandId <= kLastDeviceCommand) {
    ChooseComDevice(panel, commandId);
  } else if (commandId == kDeviceInUseCommand ||
             (commandId >= kFirstFoundPortCommand && commandId <= kLastFoundPortCommand)) {
    ChooseFoundPort(panel, commandId);
  } else if (commandId >= kFirstRecentCommand && commandId <= kLastRecentCommand) {
    ChooseRecentDevice(panel, commandId);
  } else if (commandId == kOtherDeviceCommand) {
    AskForOtherDevice(panel);
  } else if (commandId == kConnectCommand) {
    ConnectCommand(panel);
  } else if (commandId == kAboutCommand) {
    ShowAbout(panel);
  } else if (commandId == kFixCommand) {
    ShowFixWindow(panel);
  } else if (commandId == kKeyboardHelpCommand) {
    ShowKeyboardHelp(panel);
  } else if (commandId == kZoomInCommand) {
    SetZoom(panel, NextZoomStep(panel.zoom, 1));
  } else if (commandId == kZoomOutCommand) {
    SetZoom(panel, NextZoomStep(panel.zoom, -1));
  } else if (commandId == kZoomResetCommand) {
    SetZoom(panel, 100);
  } else if (commandId == kFullScreenCommand) {
    ToggleFullScreen(panel);
  } else if (commandId == kLogFolderCommand) {
    ChooseLogFolder(panel);
  } else if (commandId == kOpenLogFolderCommand) {
    OpenLogFolder(panel);
  } else if (commandId == kExitCommand) {
    panel.window->close();
  } else if (commandId == kLoggingOnCommand || commandId == kLoggingOffCommand) {
    ChooseLogging(panel, commandId);
  } else if (commandId == kTwoLineMode || commandId == kFourLineMode) {
    ChooseMode(panel, commandId);
  } else if (commandId == kAutoReconnectCommand) {
    ToggleAutoReconnect(panel);
  } else if (commandId == kHistoryCommand) {
    ShowScreenHistory(panel);
  } else if (commandId == kCopyScreenCommand) {
    CopyCurrentScreen(panel);
  } else if (commandId == kRecordCommand) {
    ToggleRecording(panel);
  } else if (commandId == kMessagesCommand) {
    ShowMessageHistory(panel);
  }
}

void OnTimer(Panel& panel, int timerId) {
  if (timerId == kRelayoutTimerId && panel.relayoutPending) {
    ApplyDisplayMode(panel);
    panel.relayoutPending = false;
    panel.relayoutTimer->stop();
  } else if (timerId == kRecordingTimerId) {
    DrainSessionRecording(panel);
  }
}

void OnWindowShown(Panel& panel) {
  ShowPortLabel(panel, PortLabel(static_cast<uint32_t>(PortNumberShown(panel))));
  RenderScreen(panel, nullptr);
  ShowDeviceLabel(panel, panel.device.deviceLabel);
}

// Everything up to the start of the connect; the window is up and answers while the
// receiver is identified, and FinishStartUp completes it with the connect's outcome.
bool StartUp(Panel& panel, const char* commandLine) {
  panel.statusBarReady = 0;
  StartOptions options;
  SetDefaults(panel.device, options);
  panel.connection.identity.receiverPortNumber = 0;
  ParseCommandLine(commandLine, panel.device, options);
  panel.displayMode = options.displayMode;
  panel.connection.slaveMode = options.slaveMode;
  panel.connection.autoReconnect = options.autoReconnect;
  panel.connection.waitsForDevice = true;
  if (CreateMainWindow(panel) == nullptr) return false;
  WireConnection(panel);
  CreateTimers(panel);
  panel.window->show();
  CreateDisplayPanel(panel);
  CreateStatusBar(panel);
  CreateKeyButtons(panel);
  CheckMenuRadioItem(panel, kLoggingOnCommand, kLoggingOffCommand, kLoggingOffCommand);
  CheckMenuItem(panel, kAutoReconnectCommand, panel.connection.autoReconnect);
  MatchDeviceName(panel.device);
  MarkDeviceInUse(panel);
  if (options.deviceRefused) SayDeviceRefused();
  panel.startUpPending = true;
  DispatchCommand(panel, kConnectCommand);
  return true;
}

void FinishStartUp(Panel& panel) {
  ShowDeviceLabel(panel, panel.device.deviceLabel);
  ShowPortLabel(panel, PortLabel(static_cast<uint32_t>(PortNumberShown(panel))));
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
