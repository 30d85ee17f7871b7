// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

// The panel's benchmarks draw on Qt's offscreen platform, which says on every window
// resize and raise that it cannot: those notes are dropped, every other one is printed.
inline void QuietOffscreenNotes(QtMsgType, const QMessageLogContext&, const QString& text) {
  if (!text.startsWith("This plugin does not support")) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
  }
}

// Before the QApplication is made.
inline void UseOffscreenPlatform() {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qInstallMessageHandler(QuietOffscreenNotes);
}
