// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

namespace {

QtMessageHandler standardHandler = nullptr;

// The offscreen platform says this on every window resize; the rest is worth reading.
void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.startsWith("This plugin does not support propagateSizeHints")) return;
  if (standardHandler != nullptr) {
    standardHandler(type, context, text);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
  }
}

}  // namespace

// The panel tests need an application object; they draw on Qt's offscreen platform.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  standardHandler = qInstallMessageHandler(QuietOffscreenNotes);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
