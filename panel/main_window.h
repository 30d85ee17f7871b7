// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <QMainWindow>
#include <functional>

struct MenuItem;
struct Panel;
class QActionGroup;
class QMenu;
class QMenuBar;

// The main window: its menus (one QAction per command, kept in panel.actions) and the
// client area. It decides nothing: what the user chose and what happened to the window
// go out through its signals.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(Panel& panel);

  // A command as if the user had chosen it.
  void Trigger(int commandId) { emit commandTriggered(commandId); }
  // Asked before the window closes: false keeps it open.
  void SetCloseGuard(std::function<bool()> mayClose) { mayClose_ = std::move(mayClose); }

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

 signals:
  void commandTriggered(int commandId);
  // Shown, moved or activated: what it shows is drawn afresh.
  void shown();
  void clientResized();
  void deviceMenuAboutToShow();

 private:
  void AddItems(QMenu* menu, const MenuItem* items, int count, QActionGroup* group);
  QMenu* AddMenu(QMenuBar* bar, const char* title, const MenuItem* items, int count, bool radio);
  void BuildMenus();
  void BuildDeviceMenu(QMenuBar* bar);

  Panel& panel_;
  std::function<bool()> mayClose_;
};

// The main window with its menus, titled "Tarnex", at its first size, yellow.
MainWindow* CreateMainWindow(Panel& panel);

// Sets the client area's background: yellow, or the platform's standard window colour.
void SetClientBackground(Panel& panel, bool yellow);
