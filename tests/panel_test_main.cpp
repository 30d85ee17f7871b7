#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// The panel tests need an application object; they draw on Qt's offscreen platform.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
