// SPDX-License-Identifier: BSD-2-Clause
// tarnex-log's receiver shared: the hub between the worker, the share server and this
// main thread, which alone writes to the receiver.

#include <cstdio>
#include <cstring>

#include "log/logger.h"

namespace {

void SayShareEvent(void* context, const char* text, bool failure) {
  PrintEvent(static_cast<Logger*>(context)->output, text, failure);
}

void WakeMainLoop(void* context) {
  RaiseWakeSignal(*static_cast<WakeSignal*>(context));
}

void ShareReceivedItem(void* context, const uint8_t* bytes, int count, bool sentence) {
  ShareItem(*static_cast<ShareHub*>(context), bytes, count, sentence, TickCount());
}

void CopyPlace(const char* host, int port, ListenPlace& place) {
  std::snprintf(place.host, sizeof place.host, "%s", host);
  place.port = port;
}

void SayServed(Logger& logger, const char* what, const ListenPlace& place, const char* more) {
  if (place.port < 0) return;
  bool six = std::strchr(place.host, ':') != nullptr;
  char text[300];
  std::snprintf(text, sizeof text, "%s at tcp://%s%s%s:%d%s", what, six ? "[" : "", place.host,
                six ? "]" : "", place.port, more);
  PrintEvent(logger.output, text, false);
}

}  // namespace

bool StartSharing(Logger& logger) {
  const LogOptions& options = logger.options;
  if (options.sharePort < 0 && options.nmeaPort < 0 && options.webPort < 0) return true;
  logger.share = std::make_unique<ShareHub>();
  ShareHub& hub = *logger.share;
  hub.receiverSide = &logger.news.wake;
  hub.wakeReceiverSide = WakeMainLoop;
  logger.connection.hooks.itemContext = &hub;
  logger.connection.hooks.item = ShareReceivedItem;
  if (options.sharePort < 0 && options.nmeaPort < 0) return true;  // the browsers' alone
  ShareServerSettings settings;
  CopyPlace(options.shareHost, options.sharePort, settings.share);
  CopyPlace(options.nmeaHost, options.nmeaPort, settings.nmea);
  settings.allow = options.shareAllow;
  if (!options.shareAllowGiven) {
    char unused[100];
    ParseAddressRanges("0.0.0.0/0,::/0", settings.allow, unused, sizeof unused);
  }
  settings.control = options.shareControl;
  settings.context = &logger;
  settings.say = SayShareEvent;
  char error[400];
  logger.shareServer = StartShareServer(hub, settings, error, sizeof error);
  if (logger.shareServer == nullptr) {
    std::fprintf(stderr, "tarnex-log: %s\n", error);
    return false;
  }
  SayServed(logger, "sharing the receiver", settings.share,
            options.shareAllowGiven ? "" : "; anyone who reaches it may watch");
  SayServed(logger, "serving NMEA", settings.nmea, "");
  return true;
}

void ServeSharing(Logger& logger) {
  if (!logger.share) return;
  ShareHub& hub = *logger.share;
  Connection& connection = logger.connection;
  bool up = IsConnected(connection);
  if (up && logger.sharedAttempt != connection.attempt.number) {
    const ReceiverIdentity& identity = connection.identity;
    ShareReceiverUp(hub, identity.identificationFrame, identity.identificationFrameLength,
                    PollPeriod(connection));
    logger.sharedAttempt = connection.attempt.number;
  } else if (!up && logger.sharedAttempt != 0) {
    ShareReceiverDown(hub);
    logger.sharedAttempt = 0;
  }
  uint8_t frames[kToReceiverBytes];
  int count = TakeForReceiver(hub, frames);
  if (count > 0 && up) WritePort(connection.link->port, frames, count);
}

void StopSharing(Logger& logger) {
  StopShareServer(logger.shareServer);
  logger.shareServer = nullptr;
}
