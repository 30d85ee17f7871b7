// The top of the program: start-up in its order, the commands, the timers.

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QTimer>
#include <cstdio>
#include <string>

#include "link/status_message.h"
#include "panel/display_widget.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/status_bar.h"
#include "panel/status_text.h"

namespace {

constexpr int kRelayoutMs = 1000;
const char* const kVersionText = "Tarnex version 1.0.2";

void CreateTimers(Panel& panel) {
  panel.pollTimer = new QTimer(panel.window);
  panel.relayoutTimer = new QTimer(panel.window);
  QObject::connect(panel.pollTimer, &QTimer::timeout, panel.window,
                   [&panel] { OnTimer(panel, kPollTimerId); });
  QObject::connect(panel.relayoutTimer, &QTimer::timeout, panel.window,
                   [&panel] { OnTimer(panel, kRelayoutTimerId); });
}

void ShowAbout(Panel& panel) {
  std::string text =
      std::string(kVersionText) + "\nA remote front panel for GPS receivers of the Morwick family.";
  ShowMessageBox(panel, text.c_str(), "About Tarnex");
}

void ChooseDevice(Panel& panel, int commandId) {
  SelectDeviceItem(panel.device, commandId);
  CheckMenuRadioItem(panel, kFirstDeviceCommand, kLastDeviceCommand, commandId);
  ShowDeviceLabel(panel, panel.device.deviceLabel);
  Connect(panel);
}

void ChooseLogging(Panel& panel, int commandId) {
  SetLogging(panel.capture->logging, commandId == kLoggingOnCommand ? 1 : 0);
  CheckMenuRadioItem(panel, kLoggingOnCommand, kLoggingOffCommand, commandId);
}

void ChooseMode(Panel& panel, int commandId) {
  CheckMenuRadioItem(panel, kTwoLineMode, kFourLineMode, commandId);
  panel.displayMode = commandId;
  PostCommand(panel, kConnectCommand);
}

void ShowStartUpText(Panel& panel) {
  if (!panel.connected) return;  // the reason the connect failed stays visible
  char text[64];
  std::snprintf(text, sizeof text, "TextDC     :%08xh",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(panel.display)));
  ShowStatusMessage(text);
}

}  // namespace

Panel::~Panel() {
  StopReceiveWorker(worker);
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

void PostCommand(Panel& panel, int commandId) {
  QMetaObject::invokeMethod(
      panel.window, [&panel, commandId] { DispatchCommand(panel, commandId); },
      Qt::QueuedConnection);
}

void ConnectCommand(Panel& panel) {
  if (panel.slaveMode) ShowMessageBox(panel, "Slave communication enabled.", kVersionText);
  ShowDeviceLabel(panel, panel.device.deviceLabel);
  Connect(panel);
  ApplyDisplayMode(panel);
  SendKey(panel, panel.displayMode == kTwoLineMode ? 0x55 : 0x50);
  panel.relayoutTimer->start(kRelayoutMs);
  panel.relayoutPending = 1;
}

void DispatchCommand(Panel& panel, int commandId) {
  if (commandId >= kFirstKeyCommand && commandId <= kLastKeyCommand) {
    SendKey(panel, KeyCodeFor(commandId, panel.displayMode));
  } else if (commandId >= kFirstDeviceCommand && commandId <= kLastDeviceCommand) {
    ChooseDevice(panel, commandId);
  } else if (commandId == kConnectCommand) {
    ConnectCommand(panel);
  } else if (commandId == kAboutCommand) {
    ShowAbout(panel);
  } else if (commandId == kExitCommand) {
    panel.window->close();
  } else if (commandId == kLoggingOnCommand || commandId == kLoggingOffCommand) {
    ChooseLogging(panel, commandId);
  } else if (commandId == kTwoLineMode || commandId == kFourLineMode) {
    ChooseMode(panel, commandId);
  }
}

void OnTimer(Panel& panel, int timerId) {
  if (timerId == kPollTimerId) {
    PollReceiver(panel);
  } else if (timerId == kRelayoutTimerId && panel.relayoutPending) {
    ApplyDisplayMode(panel);
    panel.relayoutPending = 0;
    panel.relayoutTimer->stop();
  }
}

void OnWindowShown(Panel& panel) {
  ShowPortLabel(panel, PortLabel(panel.link->receiverPortNumber));
  RenderScreen(panel, nullptr);
  ShowDeviceLabel(panel, panel.device.deviceLabel);
}

bool StartUp(Panel& panel, const char* commandLine) {
  panel.statusBarReady = 0;
  StartOptions options;
  SetDefaults(panel.device, options);
  panel.link->receiverPortNumber = 0;
  ParseCommandLine(commandLine, panel.device, options);
  panel.displayMode = options.displayMode;
  panel.slaveMode = options.slaveMode;
  if (CreateMainWindow(panel) == nullptr) return false;
  CreateTimers(panel);
  panel.window->show();
  CreateDisplayPanel(panel);
  CreateStatusBar(panel);
  CreateKeyButtons(panel);
  CheckMenuRadioItem(panel, kLoggingOnCommand, kLoggingOffCommand, kLoggingOffCommand);
  MatchDeviceName(panel.device);
  CheckMenuRadioItem(panel, kFirstDeviceCommand, kLastDeviceCommand, panel.device.deviceItem);
  DispatchCommand(panel, kConnectCommand);
  ShowDeviceLabel(panel, panel.device.deviceLabel);
  ShowPortLabel(panel, PortLabel(panel.link->receiverPortNumber));
  ShowStartUpText(panel);
  LoadImages(panel);
  ApplyDisplayMode(panel);
  CreateBannerImage(panel);
  return true;
}

static std::string JoinArguments(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  return text;
}

int RunTarnex(int argc, char** argv) {
  // The receiver's options are read from the text as given, before Qt takes its own.
  std::string commandLine = JoinArguments(argc, argv);
  QApplication application(argc, argv);
  Panel panel;
  if (!StartUp(panel, commandLine.c_str())) return 0;
  return application.exec();
}
