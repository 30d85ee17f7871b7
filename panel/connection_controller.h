// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <QObject>
#include <atomic>

#include "connection/connection.h"

class QTimer;

// The panel's connection: it owns the Connection, its timers (the poll, the key's
// follow-up, the reconnect schedule) and the hand-over of the worker's news to the
// user-interface thread, and tells what happened through its signals. It knows no window:
// the views listen, and ask it to connect, send keys or change the reconnect setting.
class ConnectionController : public QObject {
  Q_OBJECT

 public:
  ConnectionController();
  ~ConnectionController() override;

  Connection& connection() { return connection_; }
  const Connection& connection() const { return connection_; }

  // A connect to `path`. By hand (Connect, another device) or by the reconnect schedule.
  void Connect(const char* path, bool byHand);
  void SendKey(int code);
  void SetAutoReconnect(bool on);
  // Ends the worker and lets the port go: the program is leaving.
  void End();
  // The receiver port's number as the window shows it; 0 while lost or never known.
  int PortNumberShown() const;

  QTimer* pollTimer() const { return pollTimer_; }
  QTimer* followUpTimer() const { return followUpTimer_; }
  QTimer* reconnectTimer() const { return reconnectTimer_; }

 signals:
  // A connect has begun: the poll has stopped until the receiver is identified.
  void connectStarted(bool byHand);
  // The receiver is identified and the line switched; `wasLost`: it is back.
  void connected(bool wasLost);
  // A connect has an outcome, connected or failed (kOutcomeConnected, kOutcomeFailed).
  void connectFinished(int outcome);
  // A screen of this connection, as the worker stored it.
  void screenArrived(const ScreenImage& image);
  // The receiver is gone: no poll until it is back; the reconnect schedule runs.
  void lost();
  void autoReconnectChanged(bool on);

 private:
  void OnConnectDone(const ConnectReport& report);
  void OnScreen(unsigned attempt);
  void OnLineDown(unsigned attempt);
  void OnPollTick();
  void OnFollowUpTick();
  void OnReconnectTick();
  void ArmFollowUpTimer();
  void ArmReconnectTimer();
  void BecameLost();

  static void NotifyConnectDone(void* context, const ConnectReport& report);
  static bool NotifyScreen(void* context, unsigned attempt);
  static void NotifyLineDown(void* context, unsigned attempt);

  Connection connection_;
  std::atomic<bool> screenQueued_{false};  // a screen's hand-over waits in the event queue
  QTimer* pollTimer_;
  QTimer* followUpTimer_;
  QTimer* reconnectTimer_;
};
