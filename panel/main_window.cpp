// SPDX-License-Identifier: BSD-2-Clause
#include "panel/main_window.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaObject>
#include <QStatusBar>
#include <QStyle>

#include "panel/fix_window.h"
#include "panel/history_window.h"
#include "panel/key_map.h"
#include "panel/panel.h"
#include "port/serial_ports.h"

namespace {

constexpr int kFirstClientWidth = 454;
constexpr int kFirstClientHeight = 336;

}  // namespace

// One command of a menu: its caption with its mnemonic, its shortcuts ("" for none,
// several apart by '|', Qt's portable key names) and whether it is checked on and off.
struct MenuItem {
  const char* caption;
  int commandId;
  const char* shortcuts = "";
  bool checkable = false;
};

void MainWindow::AddItems(QMenu* menu, const MenuItem* items, int count, QActionGroup* group) {
  for (int i = 0; i < count; ++i) {
    QAction* action = menu->addAction(QString::fromLatin1(items[i].caption));
    int id = items[i].commandId;
    connect(action, &QAction::triggered, this, [this, id] { emit commandTriggered(id); });
    QList<QKeySequence> keys;
    for (const QString& key :
         QString::fromLatin1(items[i].shortcuts).split('|', Qt::SkipEmptyParts))
      keys.append(QKeySequence(key, QKeySequence::PortableText));
    action->setShortcuts(keys);
    action->setCheckable(items[i].checkable);
    if (group != nullptr) {
      action->setCheckable(true);
      group->addAction(action);
    }
    panel_.actions[id] = action;
  }
}

QMenu* MainWindow::AddMenu(QMenuBar* bar, const char* title, const MenuItem* items, int count,
                           bool radio) {
  QMenu* menu = bar->addMenu(QString::fromLatin1(title));
  AddItems(menu, items, count, radio ? new QActionGroup(menu) : nullptr);
  return menu;
}

MainWindow::MainWindow(Panel& panel)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      panel_(panel) {
  setWindowTitle("Tarnex");
  setWindowIcon(QIcon(":/res/Tarnex.png"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  BuildMenus();
  panel.client = new QWidget(this);
  panel.client->setAutoFillBackground(true);
  panel.client->installEventFilter(this);
  setCentralWidget(panel.client);
}

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  static const MenuItem kFile[] = {{"&Messages...", kMessagesCommand},
                                   {"&Record session...", kRecordCommand, "", true},
                                   {"E&xit", kExitCommand}};
  AddMenu(bar, "&File", kFile, 3, false);
  BuildDeviceMenu(bar);
  QAction* connect = bar->addAction("&Connect");
  QObject::connect(connect, &QAction::triggered, this,
                   [this] { emit commandTriggered(kConnectCommand); });
  panel_.actions[kConnectCommand] = connect;
  static const MenuItem kLogging[] = {{"O&n", kLoggingOnCommand}, {"O&ff", kLoggingOffCommand}};
  QMenu* logging = AddMenu(bar, "&Logging", kLogging, 2, true);
  logging->addSeparator();
  static const MenuItem kFolder[] = {{"Fol&der...", kLogFolderCommand},
                                     {"Open f&older", kOpenLogFolderCommand}};
  AddItems(logging, kFolder, 2, nullptr);
  static const MenuItem kMode[] = {{"&2 Line", kTwoLineMode}, {"&4 Line", kFourLineMode}};
  AddMenu(bar, "&Mode", kMode, 2, true);
  static const MenuItem kView[] = {{"&History...", kHistoryCommand, "Ctrl+H"},
                                   {"F&ix...", kFixCommand, "Ctrl+I"},
                                   {"&Copy screen", kCopyScreenCommand, "Ctrl+C"},
                                   {"&Zoom in", kZoomInCommand, "Ctrl++|Ctrl+="},
                                   {"Zoom &out", kZoomOutCommand, "Ctrl+-"},
                                   {"&Actual size", kZoomResetCommand, "Ctrl+0"},
                                   {"&Full screen", kFullScreenCommand, "F11", true}};
  AddMenu(bar, "&View", kView, 7, false);
  static const MenuItem kHelp[] = {{"&Keyboard...", kKeyboardHelpCommand},
                                   {"&About Tarnex...", kAboutCommand}};
  AddMenu(bar, "&Help", kHelp, 2, false);
}

// The serial devices found are listed above COM1 each time the menu opens.
void MainWindow::BuildDeviceMenu(QMenuBar* bar) {
  static char captions[kDeviceMenuItems][8];
  MenuItem devices[kDeviceMenuItems];
  for (int n = 1; n <= kDeviceMenuItems; ++n) {
    // A mnemonic for COM1 to COM9: COM10 to COM19 would all answer to 1.
    std::snprintf(captions[n - 1], sizeof captions[n - 1], n < 10 ? "COM&%d" : "COM%d", n);
    devices[n - 1] = {captions[n - 1], kFirstDeviceCommand + n - 1};
  }
  QMenu* menu = bar->addMenu("&Device");
  panel_.deviceMenu = menu;
  panel_.deviceGroup = new QActionGroup(menu);
  panel_.deviceGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  // Where COM names only stand for /dev/ttyS0... they go into a submenu of their own, so
  // that the devices found are listed once, by their own names.
  QMenu* comMenu = ComNamesAreTheSystems() ? menu : menu->addMenu("&Legacy COM ports");
  AddItems(comMenu, devices, kDeviceMenuItems, panel_.deviceGroup);
  panel_.firstComItem =
      comMenu == menu ? panel_.actions[kFirstDeviceCommand] : comMenu->menuAction();
  menu->insertSeparator(panel_.firstComItem);
  menu->addSeparator();
  static const MenuItem kMore[] = {{"&Other device...", kOtherDeviceCommand},
                                   {"&Automatic reconnect", kAutoReconnectCommand, "", true}};
  AddItems(menu, kMore, 2, nullptr);
  QObject::connect(menu, &QMenu::aboutToShow, this, &MainWindow::deviceMenuAboutToShow);
}

void MainWindow::SetClientSize(QSize size, QSize smallest) {
  QPoint corner = pos();
  panel_.client->setMinimumSize(smallest);
  panel_.client->resize(size);  // at once: the window system may answer later
  int bars = menuBar()->sizeHint().height();
  // The status bar's height is fixed at each zoom; its size hint lags behind its layout.
  auto* status = findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly);
  if (status != nullptr) bars += status->maximumHeight();
  resize(size.width(), size.height() + bars);
  move(corner);
}

// The client area resized (by the user, the zoom or full screen): the layout follows it.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == panel_.client && event->type() == QEvent::Resize) emit clientResized();
  return QMainWindow::eventFilter(watched, event);
}

// The window's show, move and activation events redraw the status fields and the screen.
void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  emit shown();
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  emit shown();
}

void MainWindow::focusInEvent(QFocusEvent* event) {
  QMainWindow::focusInEvent(event);
  emit shown();
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) emit shown();
}

// Closing the main window ends the program, whichever other windows are open: they close
// with it, so that the event loop ends, the settings are kept and the port is let go.
void MainWindow::closeEvent(QCloseEvent* event) {
  if (mayClose_ && !mayClose_()) {
    event->ignore();
    return;
  }
  for (QWidget* window :
       {static_cast<QWidget*>(panel_.fixWindow), static_cast<QWidget*>(panel_.historyWindow)}) {
    if (window != nullptr) window->close();
  }
  QMainWindow::closeEvent(event);
}

// The keyboard's keys as the receiver's. Only keys the window itself gets arrive here:
// while a menu or a dialog is open, the keys go there.
void MainWindow::keyPressEvent(QKeyEvent* event) {
  int command = 0;
  if ((event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0) {
    command = CommandForKey(event->key(), panel_.displayMode);
  }
  if (command == 0) {
    QMainWindow::keyPressEvent(event);
    return;
  }
  emit commandTriggered(command);
}

MainWindow* CreateMainWindow(Panel& panel) {
  auto* window = new MainWindow(panel);
  panel.window = window;
  window->SetClientSize(QSize(kFirstClientWidth, kFirstClientHeight),
                        QSize(kFirstClientWidth, kFirstClientHeight));
  SetClientBackground(panel, true);
  CheckMenuRadioItem(panel, kTwoLineMode, kFourLineMode, panel.displayMode);
  return window;
}

void SetClientBackground(Panel& panel, bool yellow) {
  QPalette palette = panel.client->palette();
  QColor standard = panel.window->style()->standardPalette().color(QPalette::Window);
  palette.setColor(QPalette::Window, yellow ? QColor(255, 255, 0) : standard);
  panel.client->setPalette(palette);
}

void CheckMenuRadioItem(Panel& panel, int first, int last, int commandId) {
  if (commandId < first || commandId > last) return;
  auto found = panel.actions.find(commandId);
  if (found != panel.actions.end()) found->second->setChecked(true);
}

void CheckMenuItem(Panel& panel, int commandId, int checked) {
  auto found = panel.actions.find(commandId);
  if (found != panel.actions.end()) found->second->setChecked(checked != 0);
}

void ShowMessageBox(Panel& panel, const char* text, const char* caption) {
  if (panel.messageBox != nullptr) {
    panel.messageBox(panel.messageBoxContext, text, caption);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(caption), QString::fromLatin1(text),
                  QMessageBox::Ok, panel.window);
  box.exec();
}

void PostCommand(Panel& panel, int commandId) {
  MainWindow* window = panel.window;
  QMetaObject::invokeMethod(
      window, [window, commandId] { window->Trigger(commandId); }, Qt::QueuedConnection);
}
