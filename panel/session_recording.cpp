// SPDX-License-Identifier: BSD-2-Clause
// File > Record session...: the flight recorder on the connection's port, its buffer
// written out by a timer of the user-interface thread, so that the worker never waits.

#include <QAction>
#include <QFileDialog>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/regular_file.h"
#include "base/status_message.h"
#include "capture/earlier_file.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "recorder/recording.h"

namespace {

constexpr int kDrainMs = 200;

void MarkRecording(Panel& panel, bool on) {
  auto found = panel.actions.find(kRecordCommand);
  if (found != panel.actions.end()) found->second->setChecked(on);
}

}  // namespace

// An earlier recording of the same name is kept under its dated name, never replaced.
bool KeepEarlierRecording(const char* path) {
  char kept[1000];
  int error = KeepEarlierFile(path, kept, sizeof kept);
  char text[2200];
  if (error != 0) {
    bool notAFile = error == ELOOP || error == kNotRegularFile;
    std::snprintf(text, sizeof text, "%s %s: %s; nothing recorded",
                  notAFile ? "Could not record to" : "Could not keep the earlier", path,
                  FileErrorText(error));
    ShowStatusFailure(text);
    return false;
  }
  if (kept[0] != '\0') {
    std::snprintf(text, sizeof text, "Kept the earlier recording %s as %s", path, kept);
    ShowStatusMessage(text);
  }
  return true;
}

bool StartSessionRecording(Panel& panel, const char* path) {
  StopSessionRecording(panel);
  if (!KeepEarlierRecording(path)) {
    MarkRecording(panel, false);
    return false;
  }
  if (!panel.recorder) panel.recorder = std::make_unique<Recorder>();
  if (!StartRecording(*panel.recorder, path)) {
    MarkRecording(panel, false);
    return false;
  }
  panel.recordingPath = path;
  AttachRecorder(panel.connection, panel.recorder.get());
  if (panel.recordingTimer == nullptr) {
    panel.recordingTimer = new QTimer(panel.window);
    QObject::connect(panel.recordingTimer, &QTimer::timeout, panel.window,
                     [&panel] { OnTimer(panel, kRecordingTimerId); });
  }
  panel.recordingTimer->start(kDrainMs);
  MarkRecording(panel, true);
  ShowLoggingField(panel);
  char text[600];
  std::snprintf(text, sizeof text, "Recording the session to %s", path);
  ShowStatusMessage(text);
  return true;
}

// The recorder stays allocated: the worker may still be handing it an event it took the
// pointer for a moment ago; that event lands in a buffer the next start empties.
void StopSessionRecording(Panel& panel) {
  if (panel.recordingPath.empty()) return;
  AttachRecorder(panel.connection, nullptr);
  if (panel.recordingTimer != nullptr) panel.recordingTimer->stop();
  unsigned long dropped = panel.recorder->droppedTotal;
  StopRecording(*panel.recorder);
  char text[700];
  std::snprintf(text, sizeof text, "Recording saved: %s%s", panel.recordingPath.c_str(),
                dropped > 0 ? " (the disk did not keep up: some events were dropped)" : "");
  ShowStatusMessage(text);
  panel.recordingPath.clear();
  ShowLoggingField(panel);
  MarkRecording(panel, false);
}

void ToggleRecording(Panel& panel) {
  if (!panel.recordingPath.empty()) {
    StopSessionRecording(panel);
    return;
  }
  QString path = QFileDialog::getSaveFileName(panel.window, "Record session", "session.rec",
                                              "Tarnex recordings (*.rec);;All files (*)", nullptr,
                                              QFileDialog::DontConfirmOverwrite);
  if (path.isEmpty()) {
    MarkRecording(panel, false);
    return;
  }
  StartSessionRecording(panel, path.toLocal8Bit().constData());
}

void DrainSessionRecording(Panel& panel) {
  if (panel.recorder && !panel.recordingPath.empty() && !DrainRecording(*panel.recorder)) {
    StopSessionRecording(panel);  // the failure has been shown
  }
}
