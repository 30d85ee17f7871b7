// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <QMainWindow>

struct Panel;

// The main window only passes its menus, buttons and window events on to the panel's
// functions.
class MainWindow : public QMainWindow {
 public:
  explicit MainWindow(Panel& panel);

  // Sizes the client area below the menu bar, keeping the top-left corner; the user may
  // make it larger, not smaller than `smallest`.
  void SetClientSize(QSize size, QSize smallest);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildDeviceMenu(class QMenuBar* bar);

  Panel& panel_;
};

// The main window with its menus, titled "Tarnex", at its first size, yellow.
MainWindow* CreateMainWindow(Panel& panel);

// Sets the client area's background: yellow, or the platform's standard window colour.
void SetClientBackground(Panel& panel, bool yellow);
