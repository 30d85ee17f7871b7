// SPDX-License-Identifier: BSD-2-Clause
// The flight recorder put on and taken off the connection's port. A recording begun on a
// connected line first says what is already settled (the device, the receiver's
// identification, the line's settings), so that it can be replayed on its own.
#include <cstdio>

#include "connection/connection.h"
#include "recorder/recording.h"

void AttachRecorder(Connection& connection, Recorder* recorder) {
  if (recorder != nullptr && IsConnected(connection)) {
    char note[kPathSize + kMaxDataLength + 16];
    std::snprintf(note, sizeof note, "connected %s", connection.establishedPath);
    RecordNote(*recorder, note);
    std::snprintf(note, sizeof note, "%s%s", kReceiverNote, connection.identity.identification);
    RecordNote(*recorder, note);
    RecordLineSettings(*recorder, connection.identity.baud, connection.identity.parity);
  }
  connection.link->port.recorder = recorder;
}
