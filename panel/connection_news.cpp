// SPDX-License-Identifier: BSD-2-Clause
// What the window shows of the connection's news: the controller's signals wired to the
// display, the status fields, the title, the history and the start-up's steps.

#include <QObject>
#include <chrono>

#include "panel/connection_controller.h"
#include "panel/display_widget.h"
#include "panel/history_window.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/status_text.h"

namespace {

void KeepInHistory(Panel& panel, const ScreenImage& image) {
  auto now = std::chrono::system_clock::now();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  AddToHistory(panel.history, image, std::chrono::system_clock::to_time_t(now),
               static_cast<int>(ms.count() % 1000));
  if (panel.historyWindow != nullptr && panel.historyWindow->isVisible()) {
    panel.historyWindow->Refresh();
  }
}

// The port field says N/C until the worker has identified the receiver. A connect by
// hand also blanks the display; an automatic one leaves the lost receiver's last screen
// standing until a new one comes.
void OnConnectStarted(Panel& panel, bool byHand) {
  ShowPortLabel(panel, PortLabel(0));
  if (byHand) {
    ScreenImage blank = BlankScreen();
    RenderScreen(panel, &blank);
  }
  ShowWindowTitle(panel);
}

void OnConnected(Panel& panel) {
  ShowPortLabel(panel, PortLabel(panel.connection.identity.receiverPortNumber));
  NoteRecentDevice(panel, panel.connection.attempt.userPath);
}

void OnConnectFinished(Panel& panel, int outcome) {
  ShowWindowTitle(panel);
  if (outcome == kOutcomeFailed && panel.connection.state == LinkState::kWaiting)
    ShowLinkState(panel);
}

void OnScreen(Panel& panel, const ScreenImage& image) {
  RenderScreen(panel, &image);
  KeepInHistory(panel, image);
}

// The receiver is gone: the last screen stays, greyed; the port field and the message
// field say so until it is back.
void OnLost(Panel& panel) {
  MarkScreenStale(panel.screen, true);
  if (panel.display != nullptr) panel.display->update();
  ShowPortLabel(panel, PortLabel(0));
  ShowLinkState(panel);
  ShowWindowTitle(panel);
}

void OnAutoReconnectChanged(Panel& panel, bool on) {
  CheckMenuItem(panel, kAutoReconnectCommand, on);
  if (SeeksDevice(panel.connection)) ShowLinkState(panel);
}

}  // namespace

void WireConnection(Panel& panel) {
  ConnectionController* controller = panel.controller.get();
  QWidget* window = panel.window;  // the window's end ends the wiring
  QObject::connect(controller, &ConnectionController::connectStarted, window,
                   [&panel](bool byHand) { OnConnectStarted(panel, byHand); });
  QObject::connect(controller, &ConnectionController::connected, window,
                   [&panel] { OnConnected(panel); });
  QObject::connect(controller, &ConnectionController::connectFinished, window,
                   [&panel](int outcome) { OnConnectFinished(panel, outcome); });
  QObject::connect(controller, &ConnectionController::screenArrived, window,
                   [&panel](const ScreenImage& image) { OnScreen(panel, image); });
  QObject::connect(controller, &ConnectionController::lost, window, [&panel] { OnLost(panel); });
  QObject::connect(controller, &ConnectionController::autoReconnectChanged, window,
                   [&panel](bool on) { OnAutoReconnectChanged(panel, on); });
}
