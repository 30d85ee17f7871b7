// SPDX-License-Identifier: BSD-2-Clause
// The connection as the front panel sees it: the connection module's news brought to the
// user-interface thread, its timers, and what the widgets show of it.

#include <QMetaObject>
#include <QTimer>
#include <chrono>
#include <ctime>

#include "base/local_time.h"
#include "base/status_message.h"
#include "base/tick.h"
#include "panel/display_widget.h"
#include "panel/history_window.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/status_text.h"

namespace {

void ArmFollowUpTimer(Panel& panel) {
  int wait = MsUntilFollowUp(panel.connection, TickCount());
  if (wait < 0) {
    panel.followUpTimer->stop();
  } else {
    panel.followUpTimer->start(wait);
  }
}

void KeepInHistory(Panel& panel, const ScreenImage& image) {
  auto now = std::chrono::system_clock::now();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  AddToHistory(panel.history, image, std::chrono::system_clock::to_time_t(now),
               static_cast<int>(ms.count() % 1000));
  if (panel.historyWindow != nullptr && panel.historyWindow->isVisible()) {
    panel.historyWindow->Refresh();
  }
}

void OnScreenNotification(Panel& panel, unsigned attempt) {
  panel.screenQueued = false;
  NoteScreen(panel.connection, attempt);
  ArmFollowUpTimer(panel);  // the answer came: a follow-up need not wait for it any longer
  if (attempt != panel.connection.attempt.number) return;  // an earlier connection's
  ScreenImage image;
  CopySharedScreen(panel.connection.capture->screen, image);
  RenderScreen(panel, &image);
  KeepInHistory(panel, image);
}

// Runs on the worker's thread. While one hand-on is still queued, it will show this
// screen too, so no second one is queued.
bool NotifyScreen(void* context, unsigned attempt) {
  auto* panel = static_cast<Panel*>(context);
  if (panel->screenQueued.exchange(true)) return true;
  return QMetaObject::invokeMethod(
      panel->window, [panel, attempt] { OnScreenNotification(*panel, attempt); },
      Qt::QueuedConnection);
}

void ArmReconnectTimer(Panel& panel) {
  int wait = MsUntilReconnect(panel.connection, TickCount());
  if (wait < 0) {
    panel.reconnectTimer->stop();
  } else {
    panel.reconnectTimer->start(wait);
  }
}

// The receiver is gone: the last screen stays, greyed; the port field and the message
// field say so until it is back.
void OnLost(Panel& panel) {
  panel.pollTimer->stop();
  panel.followUpTimer->stop();
  MarkScreenStale(panel.screen, true);
  if (panel.display != nullptr) panel.display->update();
  ShowPortLabel(panel, PortLabel(0));
  ShowLinkState(panel);
  ShowWindowTitle(panel);
  ArmReconnectTimer(panel);
}

void ShowBackAgain() {
  char at[16];
  TimeOfDayText(std::time(nullptr), at, sizeof at);
  char text[64];
  std::snprintf(text, sizeof text, "Receiver back at %s.", at);
  ShowStatusMessage(text);
}

void OnConnectDone(Panel& panel, const ConnectReport& report) {
  bool wasLost = panel.connection.state == LinkState::kLost;
  int outcome = FinishConnect(panel.connection, report, TickCount());
  if (outcome == kOutcomeStale) return;
  if (outcome == kOutcomeConnected) {
    ShowPortLabel(panel, PortLabel(panel.connection.identity.receiverPortNumber));
    panel.pollTimer->start(PollPeriod(panel.connection));
    ArmFollowUpTimer(panel);  // the first screen comes at once, not a period later
    const ReceiverIdentity& identity = panel.connection.identity;
    char text[kMaxDataLength + 100];
    ConnectedText(identity.identification, identity.baud, identity.parity, text, sizeof text);
    ShowStatusMessage(text);
    NoteRecentDevice(panel, panel.connection.attempt.userPath);
    if (wasLost) ShowBackAgain();
  }
  ShowWindowTitle(panel);
  ArmReconnectTimer(panel);
  if (outcome == kOutcomeFailed && panel.connection.state == LinkState::kWaiting)
    ShowLinkState(panel);
  if (panel.connectTailPending) {
    panel.connectTailPending = false;
    FinishConnectCommand(panel);
  }
  if (panel.startUpPending) {
    panel.startUpPending = false;
    FinishStartUp(panel);
  }
}

void NotifyConnectDone(void* context, const ConnectReport& report) {
  auto* panel = static_cast<Panel*>(context);
  QMetaObject::invokeMethod(
      panel->window, [panel, report] { OnConnectDone(*panel, report); }, Qt::QueuedConnection);
}

void NotifyLineDown(void* context, unsigned attempt) {
  auto* panel = static_cast<Panel*>(context);
  QMetaObject::invokeMethod(
      panel->window,
      [panel, attempt] {
        if (NoteLineDown(panel->connection, attempt, TickCount(), std::time(nullptr))) {
          OnLost(*panel);
        }
      },
      Qt::QueuedConnection);
}

// Every connect, by hand or by itself: the poll stops and the port field says N/C until
// the worker has identified the receiver. A connect by hand also blanks the display; an
// automatic one leaves the lost receiver's last screen standing until a new one comes.
void StartConnect(Panel& panel, bool automatic) {
  panel.pollTimer->stop();
  panel.reconnectTimer->stop();
  panel.followUpTimer->stop();
  ShowPortLabel(panel, PortLabel(0));
  if (!automatic) {
    ScreenImage blank = BlankScreen();
    RenderScreen(panel, &blank);
  }
  BeginConnect(panel.connection, panel.device.portPath, TickCount());
  ShowWindowTitle(panel);
  ArmReconnectTimer(panel);
}

}  // namespace

void InstallConnectionHooks(Panel& panel) {
  ConnectionHooks hooks;
  hooks.context = &panel;
  hooks.connectDone = NotifyConnectDone;
  hooks.screen = NotifyScreen;
  hooks.lineDown = NotifyLineDown;
  panel.connection.hooks = hooks;
}

void Connect(Panel& panel) {
  StartConnect(panel, false);
}

void ConnectAutomatically(Panel& panel) {
  StartConnect(panel, true);
}

void OnPollTick(Panel& panel) {
  if (PollReceiver(panel.connection, TickCount(), std::time(nullptr))) OnLost(panel);
}

void OnReconnectTick(Panel& panel) {
  if (MsUntilReconnect(panel.connection, TickCount()) == 0) {
    ConnectAutomatically(panel);
  } else {
    ArmReconnectTimer(panel);
  }
}

void SendKey(Panel& panel, int code) {
  SendKey(panel.connection, code, TickCount());
  ArmFollowUpTimer(panel);
}

// The follow-up poll; the regular period runs on from it.
void OnFollowUpTick(Panel& panel) {
  int wait = MsUntilFollowUp(panel.connection, TickCount());
  if (wait != 0) {
    ArmFollowUpTimer(panel);
    return;
  }
  OnPollTick(panel);
  if (IsConnected(panel.connection)) panel.pollTimer->start(PollPeriod(panel.connection));
}

int PortNumberShown(const Panel& panel) {
  return panel.connection.state == LinkState::kLost
             ? 0
             : static_cast<int>(panel.connection.identity.receiverPortNumber);
}

void ToggleAutoReconnect(Panel& panel) {
  SetAutoReconnect(panel.connection, !panel.connection.autoReconnect, TickCount());
  CheckMenuItem(panel, kAutoReconnectCommand, panel.connection.autoReconnect);
  ArmReconnectTimer(panel);
  if (SeeksDevice(panel.connection)) ShowLinkState(panel);
}
