// SPDX-License-Identifier: BSD-2-Clause
#include "panel/connection_controller.h"

#include <QMetaObject>
#include <QTimer>
#include <cstdio>
#include <ctime>

#include "base/local_time.h"
#include "base/status_message.h"
#include "base/tick.h"
#include "panel/status_text.h"

namespace {

void StartOrStop(QTimer* timer, int wait) {
  if (wait < 0) {
    timer->stop();
  } else {
    timer->start(wait);
  }
}

void SayConnected(const ReceiverIdentity& identity) {
  char text[kMaxDataLength + 100];
  ConnectedText(identity.identification, identity.baud, identity.parity, text, sizeof text);
  ShowStatusMessage(text);
}

void SayBackAgain() {
  char at[16];
  TimeOfDayText(std::time(nullptr), at, sizeof at);
  char text[64];
  std::snprintf(text, sizeof text, "Receiver back at %s.", at);
  ShowStatusMessage(text);
}

}  // namespace

ConnectionController::ConnectionController()
    : pollTimer_(new QTimer(this)),
      followUpTimer_(new QTimer(this)),
      reconnectTimer_(new QTimer(this)) {
  followUpTimer_->setSingleShot(true);
  reconnectTimer_->setSingleShot(true);
  connect(pollTimer_, &QTimer::timeout, this, &ConnectionController::OnPollTick);
  connect(followUpTimer_, &QTimer::timeout, this, &ConnectionController::OnFollowUpTick);
  connect(reconnectTimer_, &QTimer::timeout, this, &ConnectionController::OnReconnectTick);
  ConnectionHooks hooks;
  hooks.context = this;
  hooks.connectDone = NotifyConnectDone;
  hooks.screen = NotifyScreen;
  hooks.lineDown = NotifyLineDown;
  connection_.hooks = hooks;
}

ConnectionController::~ConnectionController() {
  End();
}

// Every connect, by hand or by itself: the poll stops until the worker has identified
// the receiver.
void ConnectionController::Connect(const char* path, bool byHand) {
  pollTimer_->stop();
  reconnectTimer_->stop();
  followUpTimer_->stop();
  BeginConnect(connection_, path, TickCount());
  ArmReconnectTimer();
  emit connectStarted(byHand);
}

void ConnectionController::SendKey(int code) {
  ::SendKey(connection_, code, TickCount());
  ArmFollowUpTimer();
}

void ConnectionController::SetAutoReconnect(bool on) {
  ::SetAutoReconnect(connection_, on ? 1 : 0, TickCount());
  ArmReconnectTimer();
  emit autoReconnectChanged(on);
}

void ConnectionController::End() {
  EndConnection(connection_);
  pollTimer_->stop();
  followUpTimer_->stop();
  reconnectTimer_->stop();
}

int ConnectionController::PortNumberShown() const {
  if (connection_.state == LinkState::kLost) return 0;
  return static_cast<int>(connection_.identity.receiverPortNumber);
}

void ConnectionController::OnConnectDone(const ConnectReport& report) {
  bool wasLost = connection_.state == LinkState::kLost;
  int outcome = FinishConnect(connection_, report, TickCount());
  if (outcome == kOutcomeStale) return;
  if (outcome == kOutcomeConnected) {
    pollTimer_->start(PollPeriod(connection_));
    ArmFollowUpTimer();  // the first screen comes at once, not a period later
    SayConnected(connection_.identity);
    if (wasLost) SayBackAgain();
    emit connected(wasLost);
  }
  ArmReconnectTimer();
  emit connectFinished(outcome);
}

void ConnectionController::OnScreen(unsigned attempt) {
  screenQueued_ = false;
  NoteScreen(connection_, attempt);
  ArmFollowUpTimer();  // the answer came: a follow-up need not wait for it any longer
  if (attempt != connection_.attempt.number) return;  // an earlier connection's
  ScreenImage image;
  CopySharedScreen(connection_.capture->screen, image);
  emit screenArrived(image);
}

void ConnectionController::OnLineDown(unsigned attempt) {
  if (NoteLineDown(connection_, attempt, TickCount(), std::time(nullptr))) BecameLost();
}

void ConnectionController::BecameLost() {
  pollTimer_->stop();
  followUpTimer_->stop();
  ArmReconnectTimer();
  emit lost();
}

void ConnectionController::OnPollTick() {
  if (PollReceiver(connection_, TickCount(), std::time(nullptr))) BecameLost();
}

// The follow-up poll; the regular period runs on from it.
void ConnectionController::OnFollowUpTick() {
  if (MsUntilFollowUp(connection_, TickCount()) != 0) {
    ArmFollowUpTimer();
    return;
  }
  OnPollTick();
  if (IsConnected(connection_)) pollTimer_->start(PollPeriod(connection_));
}

void ConnectionController::OnReconnectTick() {
  if (MsUntilReconnect(connection_, TickCount()) != 0) {
    ArmReconnectTimer();
    return;
  }
  // Again what was asked for last; while lost, BeginConnect opens its stable name.
  char path[kPathSize];
  std::snprintf(path, sizeof path, "%s", connection_.attempt.userPath);
  Connect(path, false);
}

void ConnectionController::ArmFollowUpTimer() {
  StartOrStop(followUpTimer_, MsUntilFollowUp(connection_, TickCount()));
}

void ConnectionController::ArmReconnectTimer() {
  StartOrStop(reconnectTimer_, MsUntilReconnect(connection_, TickCount()));
}

// The worker's news, on the worker's thread: handed on to the user-interface thread.
void ConnectionController::NotifyConnectDone(void* context, const ConnectReport& report) {
  auto* self = static_cast<ConnectionController*>(context);
  QMetaObject::invokeMethod(
      self, [self, report] { self->OnConnectDone(report); }, Qt::QueuedConnection);
}

// While one hand-over is still queued, it will show this screen too, so no second one
// is queued.
bool ConnectionController::NotifyScreen(void* context, unsigned attempt) {
  auto* self = static_cast<ConnectionController*>(context);
  if (self->screenQueued_.exchange(true)) return true;
  return QMetaObject::invokeMethod(
      self, [self, attempt] { self->OnScreen(attempt); }, Qt::QueuedConnection);
}

void ConnectionController::NotifyLineDown(void* context, unsigned attempt) {
  auto* self = static_cast<ConnectionController*>(context);
  QMetaObject::invokeMethod(
      self, [self, attempt] { self->OnLineDown(attempt); }, Qt::QueuedConnection);
}
