// SPDX-License-Identifier: BSD-2-Clause
// The connect sequence: identification on the worker's thread, the rest on the owner's.

#include <cstdio>
#include <cstring>

#include "base/status_message.h"
#include "connection/connection.h"
#include "link/packet_type.h"
#include "port/stable_name.h"

namespace {

constexpr uint8_t kConnectKey = 0x50;
const char* const kConnectFailedText = "Could not establish communication with receiver.";

void CopyText(char* out, int size, const char* text) {
  std::snprintf(out, static_cast<size_t>(size), "%s", text);
}

void FillIdentity(const Link& link, const char* path, const char* stableDirectory,
                  ReceiverIdentity& identity) {
  identity.receiverPortNumber = link.receiverPortNumber;
  identity.qz77Class = link.qz77Class;
  identity.twoLineCapable = link.twoLineCapable;
  identity.baud = link.port.lineBaud;
  identity.parity = link.port.lineParity;
  CopyText(identity.identification, sizeof identity.identification, link.identification);
  std::memcpy(identity.identificationFrame, link.identificationFrame,
              sizeof identity.identificationFrame);
  identity.identificationFrameLength = link.identificationFrameLength;
  if (!FindStableDeviceName(path, identity.stablePath, sizeof identity.stablePath,
                            stableDirectory)) {
    identity.stablePath[0] = '\0';
  }
}

// Why an attempt failed, for a failure that showed no reason of its own.
void FillCause(const Link& link, ConnectReport& report) {
  CopyText(report.cause, sizeof report.cause, LastThreadFailure());
  if (report.cause[0] == '\0' && link.identification[0] != '\0') {
    std::snprintf(report.cause, sizeof report.cause,
                  "The receiver's identification was not understood: %s", link.identification);
  }
}

void ItemOnWorker(void* context, const uint8_t* bytes, int count, bool sentence) {
  const ConnectionHooks& hooks = static_cast<ConnectAttempt*>(context)->connection->hooks;
  hooks.item(hooks.itemContext, bytes, count, sentence);
}

// The worker's first task: identify the receiver and report how it went. Nothing is
// reported for an attempt that was told to stop: a newer one has taken its place.
bool IdentifyOnWorker(void* context) {
  ConnectAttempt& attempt = *static_cast<ConnectAttempt*>(context);
  Connection& connection = *attempt.connection;
  Link& link = *connection.link;
  ClearThreadFailure();
  ConnectReport report;
  report.attempt = attempt.number;
  report.identified = IdentifyReceiver(link, attempt.path);
  if (PortStopped(link.port)) return false;
  FillIdentity(link, attempt.path, connection.stableNameDirectory, report.identity);
  if (report.identified != 1) FillCause(link, report);
  connection.hooks.connectDone(connection.hooks.context, report);
  return report.identified == 1;
}

bool ScreenOnWorker(void* context) {
  ConnectAttempt& attempt = *static_cast<ConnectAttempt*>(context);
  const ConnectionHooks& hooks = attempt.connection->hooks;
  return hooks.screen == nullptr || hooks.screen(hooks.context, attempt.number);
}

void LineDownOnWorker(void* context) {
  ConnectAttempt& attempt = *static_cast<ConnectAttempt*>(context);
  const ConnectionHooks& hooks = attempt.connection->hooks;
  if (hooks.lineDown != nullptr) hooks.lineDown(hooks.context, attempt.number);
}

// While a lost device is being waited for, its stable name finds it under a new name.
const char* PathToOpen(const Connection& connection, const char* portPath) {
  bool sameDevice = std::strcmp(portPath, connection.establishedPath) == 0;
  if (connection.state == LinkState::kLost && sameDevice &&
      connection.establishedStable[0] != '\0') {
    return connection.establishedStable;
  }
  return portPath;
}

void SendSlaveRequestOnce(Connection& connection) {
  if (!connection.settings.slaveMode || connection.slaveRequestSent) return;
  const uint8_t request[2] = {static_cast<uint8_t>(connection.identity.receiverPortNumber & 0xFF),
                              4};
  SendPacket(*connection.link, TypeByte(PacketType::kSlaveRequest), request, 2);
  connection.slaveRequestSent = true;
}

void ShowConnectFailure(Connection& connection, const char* cause) {
  CopyText(connection.lastCause, sizeof connection.lastCause, cause);
  char text[kCauseSize + 64];
  if (cause[0] != '\0') {
    std::snprintf(text, sizeof text, "%s %s", kConnectFailedText, cause);
  } else {
    CopyText(text, sizeof text, kConnectFailedText);
  }
  ShowStatusFailure(text);
}

// A connection to another receiver (another identification, or another device) starts a
// new fix: the last one's position and sky are not this one's.
void StartFixFor(Connection& connection, const char* identification, const char* device) {
  if (std::strcmp(connection.fixReceiver, identification) == 0 &&
      std::strcmp(connection.fixDevice, device) == 0) {
    return;
  }
  ResetSharedFix(connection.capture->fix);
  CopyText(connection.fixReceiver, sizeof connection.fixReceiver, identification);
  CopyText(connection.fixDevice, sizeof connection.fixDevice, device);
}

// A lost receiver, or a device waited for, stays so while it is tried again; a connect to
// anything else starts afresh.
LinkState StateOfAttemptOn(const Connection& connection, const char* portPath) {
  if (connection.state == LinkState::kLost &&
      std::strcmp(portPath, connection.establishedPath) == 0) {
    return LinkState::kLost;
  }
  if (connection.state == LinkState::kWaiting &&
      std::strcmp(portPath, connection.waitingPath) == 0) {
    return LinkState::kWaiting;
  }
  return LinkState::kConnecting;
}

}  // namespace

Connection::~Connection() {
  EndConnection(*this);
}

void BeginConnect(Connection& connection, const char* portPath, Tick now) {
  StopReceiveWorker(connection.worker);
  connection.state = StateOfAttemptOn(connection, portPath);
  ResetNmea(connection.capture->nmea);
  ConnectAttempt& attempt = connection.attempt;
  attempt.connection = &connection;
  ++attempt.number;
  CopyText(attempt.path, sizeof attempt.path, PathToOpen(connection, portPath));
  CopyText(attempt.userPath, sizeof attempt.userPath, portPath);
  WorkerHooks hooks;
  hooks.context = &attempt;
  hooks.prelude = IdentifyOnWorker;
  hooks.screen = ScreenOnWorker;
  hooks.lineDown = LineDownOnWorker;
  if (connection.hooks.item != nullptr) hooks.item = ItemOnWorker;
  attempt.underWay = true;
  if (!StartReceiveWorker(connection.worker, *connection.link, *connection.capture, hooks)) {
    attempt.underWay = false;
    if (connection.state == LinkState::kConnecting) connection.state = LinkState::kIdle;
    ShowConnectFailure(connection, LastThreadFailure());
    ScheduleReconnect(connection, now);
  }
}

int FinishConnect(Connection& connection, const ConnectReport& report, Tick now) {
  if (report.attempt != connection.attempt.number || !connection.attempt.underWay) {
    return kOutcomeStale;
  }
  connection.attempt.underWay = false;
  connection.identity = report.identity;
  if (report.identified != 1) {
    StopReceiveWorker(connection.worker);  // it has ended: this only joins it
    ClosePort(connection.link->port);      // so that another program may try the device
    ShowConnectFailure(connection, report.cause);
    if (SeeksDevice(connection)) {
      ++connection.failedReconnects;
    } else if (connection.settings.waitsForDevice) {
      connection.state = LinkState::kWaiting;
      connection.failedReconnects = 0;
      CopyText(connection.waitingPath, sizeof connection.waitingPath, connection.attempt.userPath);
    } else {
      connection.state = LinkState::kIdle;
    }
    ScheduleReconnect(connection, now);
    return kOutcomeFailed;
  }
  StartFixFor(connection, report.identity.identification, connection.attempt.userPath);
  connection.state = LinkState::kConnected;
  CopyText(connection.establishedPath, sizeof connection.establishedPath,
           connection.attempt.userPath);
  CopyText(connection.establishedStable, sizeof connection.establishedStable,
           report.identity.stablePath);
  connection.failedReconnects = 0;
  connection.lastCause[0] = '\0';
  connection.pollsUnanswered = 0;
  connection.writeFailed = false;
  connection.followUpPending = false;
  connection.keyAnswerAwaited = false;
  connection.lastPollAt = now - 60000;  // no request yet on this connection
  if (connection.settings.sendsKeys) SendKey(connection, kConnectKey, now);
  SendSlaveRequestOnce(connection);
  return kOutcomeConnected;
}

void EndConnection(Connection& connection) {
  StopReceiveWorker(connection.worker);
  ClosePort(connection.link->port);
  connection.attempt.underWay = false;
  connection.state = LinkState::kIdle;
}
