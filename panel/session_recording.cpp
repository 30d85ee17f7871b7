// SPDX-License-Identifier: BSD-2-Clause
// File > Record session...: the question for the file; the logging controller records.

#include <QFileDialog>

#include "panel/logging_controller.h"
#include "panel/main_window.h"
#include "panel/panel.h"

void ToggleRecording(Panel& panel) {
  if (panel.logging->IsRecording()) {
    panel.logging->StopRecording();
    return;
  }
  QString path = QFileDialog::getSaveFileName(panel.window, "Record session", "session.rec",
                                              "Tarnex recordings (*.rec);;All files (*)", nullptr,
                                              QFileDialog::DontConfirmOverwrite);
  if (path.isEmpty()) {
    CheckMenuItem(panel, kRecordCommand, 0);  // the click checked it
    return;
  }
  panel.logging->StartRecording(path.toLocal8Bit().constData());
}
