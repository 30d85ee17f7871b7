// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <QPixmap>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "connection/connection.h"
#include "panel/command_line.h"
#include "panel/commands.h"
#include "panel/keypad.h"
#include "panel/message_log.h"
#include "panel/screen_history.h"
#include "panel/screen_render.h"
#include "port/serial_ports.h"

class QAction;
class FixWindow;
class HistoryWindow;
class QActionGroup;
class QMenu;
class QLabel;
class QPushButton;
class QTimer;
class QWidget;
class MainWindow;
class DisplayWidget;
class StatusBarWidget;
class ConnectionController;
class LoggingController;

// Answers a message box: tests install one; the program shows a modal QMessageBox.
using MessageBoxHook = void (*)(void* context, const char* text, const char* caption);
// A yes-or-no question; true for yes.
using QuestionHook = bool (*)(void* context, const char* text);

// The front panel: everything the program keeps for its run. One lives in main(); each
// test makes its own.
struct Panel {
  DeviceChoice device;
  int displayMode = kFourLineMode;
  bool relayoutPending = false;
  bool connectTailPending =
      false;                    // a Connect command's layout run waits for its connect's outcome
  bool startUpPending = false;  // the end of start-up waits for the first connect's outcome
  std::atomic<int> statusBarReady{0};

  // The connection and what keeps it (its timers, the worker's news): the controller owns
  // it; `connection` is the same, for reading.
  std::unique_ptr<ConnectionController> controller;
  Connection& connection;
  // The logging into the dump folder and the flight recorder.
  std::unique_ptr<LoggingController> logging;

  DisplayScreen screen;
  ScreenHistory history;
  HistoryWindow* historyWindow = nullptr;
  FixWindow* fixWindow = nullptr;
  QByteArray fixWindowPlace;  // its place and size as remembered, for when it opens
  MessageLog messages;
  MessageField messageField;
  MainWindow* window = nullptr;
  QWidget* client = nullptr;  // the client area below the menu bar
  DisplayWidget* display = nullptr;
  StatusBarWidget* statusBar = nullptr;
  QPushButton* functionKeys[kFunctionKeyCount] = {};  // indexed by command id - 2054
  QPushButton* keypadButtons[kKeypadButtonCount] = {};
  int keypadCount = 0;
  QLabel* banner = nullptr;
  std::map<int, QPixmap> images;
  QTimer* relayoutTimer = nullptr;
  bool logFolderChosen = false;            // by Logging > Folder..., so remembered
  int zoom = 100;                          // percent: the whole window, keys and status bar
  int zoomBeforeFullScreen = 0;            // 0: not full screen
  std::vector<std::string> recentDevices;  // connected to lately, newest first, remembered
  std::map<int, QAction*> actions;         // menu items by command id
  QMenu* deviceMenu = nullptr;
  QActionGroup* deviceGroup = nullptr;
  QAction* firstComItem = nullptr;  // the found ports are listed above it
  PortList foundPorts;              // as the Device menu last listed them

  MessageBoxHook messageBox = nullptr;  // tests answer the boxes and questions themselves
  void* messageBoxContext = nullptr;
  QuestionHook question = nullptr;

  Panel();
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;
  ~Panel();
};

// Start-up: everything before the event loop, the connect included.
// false when the main window could not be made.
bool StartUp(Panel& panel, const char* commandLine);
// The whole program: start-up, then the event loop; returns its exit code.
int RunTarnex(int argc, char** argv);

// Commands, timers and window events.
void DispatchCommand(Panel& panel, int commandId);
void PostCommand(Panel& panel, int commandId);
void ConnectCommand(Panel& panel);
// What follows a Connect command, and the end of start-up, once the connect has an outcome.
void FinishConnectCommand(Panel& panel);
void FinishStartUp(Panel& panel);
void OnWindowShown(Panel& panel);

// The connection's news shown in the window (WireConnection, once the window is made),
// and what the window asks of the connection.
void WireConnection(Panel& panel);
// The logging controller's news shown in the window, once the window is made.
void WireLogging(Panel& panel);

// The Device menu.
void ChooseComDevice(Panel& panel, int commandId);
void ChooseFoundPort(Panel& panel, int commandId);
// A device name typed by the user: "com3" as at start-up, anything else as a path.
void ChooseOtherDevice(Panel& panel, const char* name);
// A device connected to goes to the top of the recent ones.
void NoteRecentDevice(Panel& panel, const char* path);
void ChooseRecentDevice(Panel& panel, int commandId);
void AskForOtherDevice(Panel& panel);
// Lists the serial devices of this machine afresh and marks the device in use.
void RefreshDeviceMenu(Panel& panel);
void MarkDeviceInUse(Panel& panel);
// The title names the receiver and its device while connected.
void ShowWindowTitle(Panel& panel);

// Layout.
void CreateKeyButtons(Panel& panel);
void LoadImages(Panel& panel);
void ApplyDisplayMode(Panel& panel);
void CreateBannerImage(Panel& panel);
void CheckMenuRadioItem(Panel& panel, int first, int last, int commandId);
void CheckMenuItem(Panel& panel, int commandId, int checked);

// Display.
void CreateDisplayPanel(Panel& panel);
void RenderScreen(Panel& panel, const ScreenImage* image);
void SetUpDisplayFont(Panel& panel, int mode);

// Status bar.
void CreateStatusBar(Panel& panel);
void ShowDeviceLabel(Panel& panel, const char* text);
void ShowPortLabel(Panel& panel, const char* text);

// The logging field as things stand: off, what this period wrote, failing; recording.
void ShowLoggingField(Panel& panel);
// View > Zoom: the whole window at 100% to 400% of its own size, for a large screen or
// bright sunlight; no key goes to the receiver.
void SetZoom(Panel& panel, int percent);
// The zoom's next step up (direction > 0) or down from `zoom`.
int NextZoomStep(int zoom, int direction);
// After the user resized the window: the display and keys at the largest zoom that fits.
void FitLayoutToWindow(Panel& panel);
// View > Full screen: the window as large as the screen allows, and back.
void ToggleFullScreen(Panel& panel);
// A text for the message field, on the user-interface thread; kind is a StatusKind.
void OnStatusText(Panel& panel, const char* text, int kind);
// The loss text takes the field while the receiver is lost.
void ShowLinkState(Panel& panel);
void ShowMessageHistory(Panel& panel);
void ShowScreenHistory(Panel& panel);
void ShowFixWindow(Panel& panel);
// A device name too long to be a path was given: said in the window, nothing opened.
void SayDeviceRefused();
// Shows a window of the panel's own (History, Fix) over the others, with the focus.
void BringToFront(QWidget* window);
void CopyCurrentScreen(Panel& panel);

void ShowMessageBox(Panel& panel, const char* text, const char* caption);
// Whether the window may close now: while logging or recording, the user is asked first.
bool MayClose(Panel& panel);

// File > Record session...: asks for the file and starts the flight recorder, or stops it.
void ToggleRecording(Panel& panel);
