// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/scratch_dir.h"

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
  // Without a runtime folder Qt makes one under a fixed name in /tmp, which another user's
  // run may own: this run's own instead.
  ScratchDir runtime;
  if (std::getenv("XDG_RUNTIME_DIR") == nullptr && runtime.Made()) {
    std::filesystem::permissions(runtime.path, std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime.Str().c_str(), 1);
  }
  standardHandler = qInstallMessageHandler(QuietOffscreenNotes);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
