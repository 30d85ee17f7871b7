// SPDX-License-Identifier: BSD-2-Clause
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "capture/folder_lock.h"
#include "panel/display_widget.h"
#include "panel/fix_window.h"
#include "panel/history_window.h"
#include "panel/main_window.h"
#include "panel/settings.h"
#include "panel/status_bar.h"
#include "sim/data_stream.h"
#include "sim/fake_receiver.h"
#include "sim/replay.h"
#include "tests/file_size_limit.h"
#include "tests/panel_fixture.h"
#include "tests/recording_read.h"
#include "tests/scratch_dir.h"
#include "tests/test_bytes.h"

namespace {

// The longest gap between two long screen requests: the polls' period, as a key's
// follow-ups only come between the ticks.
long LongestPollGap(const std::vector<SeenPacket>& polls) {
  std::chrono::milliseconds longest{0};
  const SeenPacket* last = nullptr;
  for (const SeenPacket& poll : polls) {
    if (poll.data.size() != 5) continue;
    if (last != nullptr)
      longest =
          std::max(longest, std::chrono::duration_cast<decltype(longest)>(poll.at - last->at));
    last = &poll;
  }
  return static_cast<long>(longest.count());
}

// A start-up as the switches and the receiver make it: the keys that go out (the
// relayout's a second later), the layout, a fall back said in a box, and the polls: a
// long request, then a short one, each tick, but the QZ77's long ones only, faster.
TEST_F(PanelTest, StartUpsSendTheirKeysAndPoll) {
  // The keys as the receiver's codes: 'P' (0x50) for four lines, 'U' (0x55) for two.
  const struct {
    const char* switches;
    const char* identification;
    const char* box;
    std::string keys;  // after the start-up, then after the relayout
    std::string relaidKeys;
    int mode;
    long periodMs;
    bool shortRequests;
  } cases[] = {
      {"", kMorwick, nullptr, "PPPP", "PPPPP", kFourLineMode, 900, true},
      {"-2", kVeltaris, nullptr, "PUUU", "PUUUU", kTwoLineMode, 900, true},
      {"-2", kMorwick, "|Two line mode could not be initialised.", "", "", kFourLineMode, 900,
       true},
      {"", kQz77, nullptr, "", "", kFourLineMode, 400, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.identification) + " " + c.switches);
    Restart(c.switches, c.identification);
    ASSERT_TRUE(WaitForOutcome());
    EXPECT_EQ(Connected(), 1);
    EXPECT_EQ(boxes,
              c.box != nullptr ? std::vector<std::string>{c.box} : std::vector<std::string>{});
    EXPECT_EQ(panel->displayMode, c.mode);
    EXPECT_TRUE(panel->actions[c.mode]->isChecked());
    EXPECT_EQ(panel->client->height() < panel->client->width() / 2, c.mode == kTwoLineMode);
    for (QPushButton* button : panel->keypadButtons)
      EXPECT_EQ(button->isVisible(), c.mode == kFourLineMode);
    Spin(100);
    if (!c.keys.empty()) {
      EXPECT_EQ(Keys(), std::vector<int>(c.keys.begin(), c.keys.end()));
    }
    Spin(1100);
    if (!c.relaidKeys.empty()) {
      EXPECT_EQ(Keys(), std::vector<int>(c.relaidKeys.begin(), c.relaidKeys.end()))
          << "the relayout's key";
    }
    EXPECT_EQ(panel->banner->isVisible(), c.mode == kTwoLineMode) << "once laid out again";
    ClearReceived(receiver);
    Spin(2000);
    std::vector<SeenPacket> polls = Requests();
    ASSERT_GE(polls.size(), 2u);
    bool anyShort = false;
    for (const SeenPacket& poll : polls) anyShort = anyShort || poll.data == Bytes{0x01};
    EXPECT_EQ(anyShort, c.shortRequests);
    EXPECT_NEAR(LongestPollGap(polls), c.periodMs, c.periodMs / 4) << "the regular period";
  }
}

// What the window says of a receiver it has found.
TEST_F(PanelTest, TheWindowNamesTheReceiver) {
  Start("");
  EXPECT_EQ(Message(), "Connected to MORWICK (firmware 2.10) at 38400 baud, 8N1");
  EXPECT_TRUE(Logged(*panel, kMorwick)) << "the raw identification, for the record";
  EXPECT_TRUE(Logged(*panel, "TextDC     :"));
  EXPECT_EQ(panel->statusBar->Port(), "B-1  ") << "receiver port 1";
  EXPECT_EQ(panel->statusBar->Device(), QString(FakeReceiverPath(receiver)).mid(5));
}

TEST_F(PanelTest, SlaveRequestGoesOutOncePerRun) {
  Start("-S");
  EXPECT_EQ(boxes, (std::vector<std::string>{"Tarnex version 1.0.2|Slave communication enabled."}));
  ASSERT_TRUE(SpinUntil([&] { return Count(0x84) == 1; })) << "on the wire by now";
  for (const SeenPacket& p : ReceivedPackets(receiver)) {
    if (p.type == 0x84) {
      EXPECT_EQ(p.data, (Bytes{2, 4}));
    }
  }
  DispatchCommand(*panel, kConnectCommand);
  EXPECT_EQ(boxes.size(), 2u);
  ASSERT_TRUE(WaitForOutcome());
  EXPECT_EQ(Connected(), 1);
  Spin(100);  // what the second connect sent has arrived
  EXPECT_EQ(Count(0x84), 1);
}

// A device given by its path is marked in the Device menu, not COM1, and the title names
// receiver and device. A connect that fails (Device > COM5: no such port here) says why,
// shows no port, polls nothing and waits for the device; no key goes anywhere until a
// connect succeeds. "Other device..." takes the path again.
TEST_F(PanelTest, TheDeviceMenuMarksTheDeviceInUseAndAFailedConnectSendsNothing) {
  Start("");
  QString path = FakeReceiverPath(receiver);
  EXPECT_EQ(panel->window->windowTitle(), "Tarnex - MORWICK on " + path.mid(5));
  RefreshDeviceMenu(*panel);
  ASSERT_EQ(panel->actions.count(kDeviceInUseCommand), 1u);
  EXPECT_TRUE(panel->actions[kDeviceInUseCommand]->isChecked());
  EXPECT_EQ(panel->actions[kDeviceInUseCommand]->text(), path);
  EXPECT_FALSE(panel->actions[kFirstDeviceCommand]->isChecked());
  EXPECT_EQ(panel->deviceMenu->actions().indexOf(panel->actions[kFirstDeviceCommand]), -1)
      << "here COM names stand for /dev/ttyS*: listed once, in their own submenu";
  // The device connected to heads the recent ones; one that has gone is greyed.
  panel->recentDevices.push_back("/dev/tarnex-gone");
  RefreshDeviceMenu(*panel);
  ASSERT_EQ(panel->recentDevices.front(), path.toStdString());
  EXPECT_EQ(panel->actions[kFirstRecentCommand]->text(), path);
  EXPECT_TRUE(panel->actions[kFirstRecentCommand]->isEnabled());
  EXPECT_FALSE(panel->actions[kFirstRecentCommand + 1]->isEnabled());

  DispatchCommand(*panel, kFirstDeviceCommand + 4);
  ASSERT_TRUE(WaitForOutcome());
  EXPECT_EQ(Connected(), 0);
  EXPECT_TRUE(panel->actions[kFirstDeviceCommand + 4]->isChecked());
  EXPECT_EQ(panel->window->windowTitle(), "Tarnex");
  EXPECT_TRUE(Logged(*panel, "Could not establish communication with receiver. "));
  EXPECT_TRUE(
      Message().startsWith("Waiting for the receiver on com5 (next try in 1 s). Last try: "))
      << Message().toStdString();
  EXPECT_FALSE(panel->controller->pollTimer()->isActive());
  EXPECT_EQ(panel->statusBar->Port(), " N/C ");
  EXPECT_STREQ(panel->device.portPath, "com5");
  EXPECT_EQ(panel->statusBar->Device(), "  com5") << "exactly the last text, no tail";
  ClearReceived(receiver);
  for (int id = kFirstKeyCommand; id <= kLastKeyCommand; ++id) DispatchCommand(*panel, id);
  Spin(100);
  EXPECT_TRUE(ReceivedBytes(receiver).empty());

  ChooseOtherDevice(*panel, path.toLatin1().constData());
  ASSERT_TRUE(WaitForOutcome());
  EXPECT_EQ(Connected(), 1);
  RefreshDeviceMenu(*panel);
  EXPECT_TRUE(panel->actions[kDeviceInUseCommand]->isChecked());
  EXPECT_FALSE(panel->actions[kFirstDeviceCommand + 4]->isChecked());
}

void Press(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QCoreApplication::sendEvent(window, &press);
}

// The keyboard sends what the buttons send, by the display mode; keys with Ctrl or Alt
// and keys without a meaning send nothing.
TEST_F(PanelTest, TheKeyboardDrivesTheKeys) {
  Start("");
  panel->relayoutTimer->stop();  // its key would come in between
  ASSERT_TRUE(SpinUntil([&] { return Keys().size() >= 4; })) << "the start-up keys are in";
  ClearReceived(receiver);
  const struct {
    int key;
    int code;
  } fourLine[] = {{Qt::Key_7, '7'},       {Qt::Key_0, '0'},     {Qt::Key_Up, 253},
                  {Qt::Key_Left, 29},     {Qt::Key_Return, 13}, {Qt::Key_Backspace, 127},
                  {Qt::Key_PageDown, 80}, {Qt::Key_F2, 'B'},    {Qt::Key_F5, 76},
                  {Qt::Key_F9, 75},       {Qt::Key_Escape, -1}, {Qt::Key_A, -1}};
  std::vector<int> expected;
  for (const auto& press : fourLine) {
    Press(panel->window, press.key);
    if (press.code >= 0) expected.push_back(press.code);
  }
  Press(panel->window, Qt::Key_1, Qt::ControlModifier);
  Spin(100);
  EXPECT_EQ(Keys(), expected);
  EXPECT_EQ(panel->keypadButtons[1]->toolTip(), "Keyboard: Up arrow");
  DispatchCommand(*panel, kKeyboardHelpCommand);  // Help > Keyboard... holds the same names
  ASSERT_FALSE(boxes.empty());
  EXPECT_NE(boxes.back().find("^:  Up arrow\n"), std::string::npos) << boxes.back();
  panel->displayMode = kTwoLineMode;  // the mapping follows the mode
  ClearReceived(receiver);
  for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Up, Qt::Key_Down, Qt::Key_Right,
                  Qt::Key_Left, Qt::Key_5}) {
    Press(panel->window, key);
  }
  Spin(100);
  EXPECT_EQ(Keys(), (std::vector<int>{85, 81, 82, 83, 84}));
}

// File > Record session..., begun while connected: the keys going out and the screens
// coming back are in the recording, which is whole once recording stops and names the
// receiver, so that it replays on its own.
TEST_F(PanelTest, RecordsTheSession) {
  Start("");
  ScratchDir scratch;
  std::string path = scratch / "session.rec";
  std::ofstream(path) << "an earlier recording";
  ASSERT_TRUE(panel->logging->StartRecording(path.c_str()));
  EXPECT_TRUE(panel->actions[kRecordCommand]->isChecked());
  EXPECT_TRUE(Logged(*panel, "Kept the earlier recording " + path + " as ")) << "never replaced";
  DispatchCommand(*panel, 2064);  // the key 1
  int before = panel->display->Paints();
  ASSERT_TRUE(SpinUntil([&] { return panel->display->Paints() > before + 1; }));
  panel->logging->StopRecording();
  EXPECT_FALSE(panel->actions[kRecordCommand]->isChecked());
  EXPECT_EQ(Message(), QString("Recording saved: %1").arg(path.c_str()));
  EXPECT_NE(Recorded(path, kRecordSent).find(std::string("\x02\x00\x81\x01\x31", 5)),
            std::string::npos)
      << "the key";
  EXPECT_NE(Recorded(path, kRecordReceived).find(std::string("\x02\x00\x82\xa1", 4)),
            std::string::npos)
      << "a screen";
  Replay replay;
  std::string error;
  ASSERT_TRUE(LoadReplay(path.c_str(), replay, error)) << error;
  EXPECT_EQ(replay.identification, kMorwick);
}

// View > History...: every screen received is listed; the one shown, and its text, are
// the display's characters; Ctrl+C copies the current screen as four lines of text.
TEST_F(PanelTest, TheHistoryHoldsTheScreensAsTheDisplayDrawsThem) {
  Start("");
  DispatchCommand(*panel, 2055);  // Control: a page with the digits typed
  DispatchCommand(*panel, 2064);
  ASSERT_TRUE(SpinUntil([&] { return panel->history.count >= 3; }));
  DispatchCommand(*panel, kHistoryCommand);
  HistoryWindow* history = panel->historyWindow;
  ASSERT_NE(history, nullptr);
  EXPECT_TRUE(history->isVisible());
  EXPECT_EQ(history->findChild<QListWidget*>()->count(), panel->history.count);
  EXPECT_EQ(history->Shown(), panel->history.count - 1) << "the newest, followed";
  panel->controller->pollTimer()->stop();
  Spin(300);  // the last screen asked for has come
  history->ShowEntry(panel->history.count - 1);
  QString display;
  for (int line = 0; line < 4; ++line) {
    for (int c = 0; c < 40; ++c)
      display += QChar(Cp1252ToUnicode(panel->screen.plain.bytes[line * 40 + c]));
    display += '\n';
  }
  EXPECT_EQ(history->ShownText(), display);
  DispatchCommand(*panel, kCopyScreenCommand);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), display);
  history->ShowEntry(0);
  EXPECT_NE(history->ShownText(), display) << "an earlier page";
}

// The Fix window says how to get sentences while none come, then shows the simulated
// rover's fix, its sky and its position.
TEST_F(PanelTest, TheFixWindowShowsTheReceiversOwnFix) {
  Start("");
  DispatchCommand(*panel, kFixCommand);
  FixWindow* window = panel->fixWindow;
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->FiguresText().startsWith("No NMEA sentences from the receiver"));
  ReceiverModel model;
  std::mt19937 random(1);
  Bytes burst;
  for (uint32_t second = 3; second < 6; ++second) AppendDataBurst(model, second, 0, random, burst);
  Send(receiver, burst);
  ASSERT_TRUE(SpinUntil([&] {
    window->Refresh();
    return window->FiguresText().contains("BeiDou ");
  })) << window->FiguresText().toStdString();
  QString figures = window->FiguresText();
  EXPECT_TRUE(figures.startsWith("Fix         RTK-fixed, 3D")) << figures.toStdString();
  EXPECT_TRUE(figures.contains("Latitude    52.219203")) << figures.toStdString();
  EXPECT_TRUE(
      figures.contains("16 used, 18 in view\n  GPS        7 used of  8\n  GLONASS    3 "
                       "used of  4\n  Galileo    3 used of  3\n  BeiDou     3 used of  3\n"))
      << figures.toStdString();
  DispatchCommand(*panel, kFixCommand);  // a second time: the same window, raised
  EXPECT_EQ(panel->fixWindow, window);
}

// A device name longer than a path may be is said in the window, not cut and waited for.
TEST_F(PanelTest, AnOverlongDeviceNameIsSaidInTheWindow) {
  StartPanel("/dev/" + std::string(300, 'x'), "");
  EXPECT_TRUE(Logged(*panel, "The device name given is longer than 255 characters"));
  EXPECT_EQ(std::string(panel->device.portPath).find("xxx"), std::string::npos) << "not cut";
}

// The letter after '&' in a menu item's text, lower case; 0 when it has none.
QChar Mnemonic(const QString& text) {
  for (int i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] != '&') return text[i + 1].toLower();
    ++i;  // "&&" is an ampersand
  }
  return QChar();
}

// Every menu's items answer to letters of their own, so that Alt+L then F turns logging
// off, and nothing else.
TEST_F(PanelTest, EachMenuItemHasALetterAndAShortcutOfItsOwn) {
  Start("");
  std::vector<QMenu*> menus;
  for (QAction* top : panel->window->menuBar()->actions()) {
    if (top->menu() != nullptr) menus.push_back(top->menu());
  }
  std::map<QString, QString> shortcuts;  // each key combination does one thing
  for (size_t i = 0; i < menus.size(); ++i) {
    QMenu* menu = menus[i];
    emit menu->aboutToShow();  // the Device menu lists what it finds as it opens
    std::map<QChar, QString> taken;
    for (QAction* action : menu->actions()) {
      if (action->menu() != nullptr) menus.push_back(action->menu());
      for (const QKeySequence& key : action->shortcuts()) {
        EXPECT_TRUE(shortcuts.emplace(key.toString(), action->text()).second)
            << key.toString().toStdString() << ": " << action->text().toStdString() << " and "
            << shortcuts[key.toString()].toStdString();
      }
      QChar letter = Mnemonic(action->text());
      if (letter.isNull()) continue;
      EXPECT_TRUE(taken.emplace(letter, action->text()).second)
          << menu->title().toStdString() << ": " << action->text().toStdString() << " and "
          << taken[letter].toStdString() << " share " << QString(letter).toStdString();
    }
  }
  QAction* off = nullptr;
  for (QAction* top : panel->window->menuBar()->actions()) {
    if (Mnemonic(top->text()) != 'l') continue;
    for (QAction* item : top->menu()->actions()) {
      if (Mnemonic(item->text()) == 'f') off = item;
    }
  }
  EXPECT_EQ(off, panel->actions[kLoggingOffCommand]) << "Alt+L, then F";
}

// File > Exit ends the program whichever of its own windows are open: they close with the
// main window, so that Qt's event loop ends (and the settings are kept, the port let go).
TEST_F(PanelTest, ExitEndsTheProgramWhateverWindowsAreOpen) {
  const std::vector<std::vector<int>> opened = {{}, {kFixCommand, kHistoryCommand}};
  StartReceiver(Script(kMorwick));
  for (const std::vector<int>& windows : opened) {
    panel = std::make_unique<Panel>();
    StartPanel(FakeReceiverPath(receiver), "");
    for (int command : windows) DispatchCommand(*panel, command);
    QTimer guard;  // the loop ended by force when Exit did not end it
    guard.setSingleShot(true);
    bool forced = false;
    QObject::connect(&guard, &QTimer::timeout, [&] {
      forced = true;
      QCoreApplication::quit();
    });
    guard.start(3000);
    QTimer::singleShot(0, [&] { DispatchCommand(*panel, kExitCommand); });
    QApplication::exec();
    EXPECT_FALSE(forced) << windows.size() << " windows open: the program went on";
    for (QWidget* window : QApplication::topLevelWidgets())
      EXPECT_FALSE(window->isVisible()) << window->windowTitle().toStdString();
  }
}

TEST_F(PanelTest, LoggingMenuSwitchesTheDumpFiles) {
  ScratchDir scratch;
  SetDumpDirectory(*panel->connection.capture, scratch.Str());
  Start("");
  std::string posn = scratch / "posn.dmp";
  EXPECT_TRUE(panel->actions[kLoggingOffCommand]->isChecked());
  DispatchCommand(*panel, kLoggingOnCommand);
  EXPECT_TRUE(panel->actions[kLoggingOnCommand]->isChecked());
  EXPECT_FALSE(panel->actions[kLogFolderCommand]->isEnabled()) << "a period keeps to one folder";
  EXPECT_TRUE(Message().startsWith(QString("Logging to %1 (posn.dmp").arg(scratch.Str().c_str())))
      << Message().toStdString();
  Bytes frame = Frame(0x40, {1, 2, 3});
  Send(receiver, frame);
  Spin(200);
  EXPECT_EQ(access(posn.c_str(), F_OK), 0);
  DispatchCommand(*panel, kLoggingOffCommand);
  EXPECT_EQ(LoggingOn(panel->connection.capture->logging), 0);
  EXPECT_TRUE(panel->actions[kLogFolderCommand]->isEnabled());
  EXPECT_EQ(Message(), QString("Logging off: posn 1 (9 B), obsd 0 (0 B), corr 0 (0 B), nmea 0 "
                               "(0 B) written to %1")
                           .arg(scratch.Str().c_str()));

  // A new period writes a file of its own and keeps the last one's. Exit while logging asks
  // first; No keeps the window.
  DispatchCommand(*panel, kLoggingOnCommand);
  Bytes second = Frame(0x40, {4, 5, 6});
  Send(receiver, second);
  ASSERT_TRUE(SpinUntil([&] { return FileBytes(posn) == second; }));
  int kept = 0;
  for (const auto& entry : std::filesystem::directory_iterator(scratch.path))
    kept += FileBytes(entry.path().string()) == frame;
  EXPECT_EQ(kept, 1) << "the first period's file";
  DispatchCommand(*panel, kExitCommand);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].rfind("Logging is on. Quit all the same?", 0), 0u) << questions[0];
  EXPECT_TRUE(panel->window->isVisible());
  DispatchCommand(*panel, kLoggingOffCommand);
  DispatchCommand(*panel, kExitCommand);
  EXPECT_EQ(questions.size(), 1u) << "nothing to ask with logging off";
  EXPECT_FALSE(panel->window->isVisible());

  // Another program logging into the folder: Logging On is refused and says who it is.
  FolderLock other;
  char holder[100];
  ASSERT_EQ(LockFolder(other, scratch.Str().c_str(), "/dev/ttyUSB7", holder, sizeof holder), 0);
  DispatchCommand(*panel, kLoggingOnCommand);
  EXPECT_EQ(LoggingOn(panel->connection.capture->logging), 0);
  EXPECT_TRUE(panel->actions[kLoggingOffCommand]->isChecked());
  EXPECT_TRUE(Message().endsWith(
      QString("is already being logged into by process %1 (/dev/ttyUSB7)").arg(getpid())))
      << Message().toStdString();
  UnlockFolder(other);
}

// Items that cannot be written: the failure stays in the message field, the clock never
// covers it, until the file is written again, which is said with what was lost.
TEST_F(PanelTest, AFailingLogStaysInView) {
  ScratchDir scratch;
  SetDumpDirectory(*panel->connection.capture, scratch.Str());
  Start("");
  DispatchCommand(*panel, kLoggingOnCommand);
  Bytes frame = Frame(0x40, Bytes(40, 7));
  auto send = [&] { Send(receiver, frame); };
  {
    FileSizeLimit limit(frame.size() / 2);
    send();
    ASSERT_TRUE(SpinUntil([&] { return Message().startsWith("Could not write "); }));
    ShowLoggingField(*panel);
    EXPECT_EQ(panel->statusBar->LoggingField()->text(), "Log FAILING");
    panel->messageField.shownAt -= 60000;     // long past the time a failure holds the field
    Spin(2 * PollPeriod(panel->connection));  // the polls' clock comes and goes
    EXPECT_TRUE(Message().startsWith("Could not write ")) << Message().toStdString();
  }
  send();
  ASSERT_TRUE(SpinUntil([&] { return Message().contains(" again; 1 item (46 B) was lost"); }))
      << Message().toStdString();
  ShowLoggingField(*panel);
  EXPECT_EQ(panel->statusBar->LoggingField()->text(), "Log 46 B") << "only what reached the file";
  EXPECT_TRUE(panel->statusBar->LoggingField()->toolTip().contains("posn: 1 items (46 B), 1 LOST"))
      << panel->statusBar->LoggingField()->toolTip().toStdString();
}

// A run's choices are remembered (here in a settings file of the test's own) and come back
// as switches that the command line's own follow, and so override.
TEST_F(PanelTest, ARunIsRememberedAndTheCommandLineWins) {
  Start("-2 -M", kVeltaris);
  ScratchDir scratch;
  QSettings settings(QString::fromStdString(scratch / "tarnex.conf"), QSettings::IniFormat);
  Remember(*panel, settings);
  std::string device = FakeReceiverPath(receiver);
  EXPECT_EQ(RememberedSwitches(settings), "-D " + device + " -2 -M");
  DeviceChoice next;
  StartOptions options;
  SetDefaults(next, options);
  ParseCommandLine((RememberedSwitches(settings) + " -4").c_str(), next, options);
  MatchDeviceName(next);
  EXPECT_STREQ(next.portPath, device.c_str()) << "the next run opens the last device";
  EXPECT_EQ(options.displayMode, kFourLineMode) << "the command line wins";
  EXPECT_FALSE(options.autoReconnect);
  EXPECT_EQ(DefaultLogFolder(settings), "") << "no folder chosen, and not started from home";
  SetDumpDirectory(*panel->connection.capture, scratch.Str());
  panel->logFolderChosen = true;
  Remember(*panel, settings);
  EXPECT_EQ(DefaultLogFolder(settings).toStdString(), scratch.Str());
  panel->recentDevices.clear();
  RecallRecentDevices(*panel, settings);
  EXPECT_EQ(panel->recentDevices, std::vector<std::string>{device});
  // A place on a screen that is gone (a monitor unplugged) is not taken.
  panel->window->move(40, 50);
  settings.setValue("windowPlace", QPoint(30000, 25000));
  RestoreWindowPlace(*panel, settings);
  EXPECT_EQ(panel->window->pos(), QPoint(40, 50));
  // The Fix window opens where it was left, at the panel's zoom.
  DispatchCommand(*panel, kFixCommand);
  panel->fixWindow->setGeometry(60, 70, 900, 650);
  Remember(*panel, settings);
  auto next_panel = std::make_unique<Panel>();
  next_panel->window = panel->window;
  RestoreWindowPlace(*next_panel, settings);
  EXPECT_EQ(next_panel->fixWindowPlace, panel->fixWindow->saveGeometry());
  QFont before = panel->fixWindow->font();
  SetZoom(*panel, 200);
  EXPECT_NEAR(panel->fixWindow->font().pointSizeF(), 2 * before.pointSizeF(), 0.01);
  next_panel->window = nullptr;
}

// The zoom's steps and the user's own resizing: the display, the keys and the status strip
// follow the window, never smaller than at 100%, and no key goes out for it.
TEST_F(PanelTest, TheLayoutFollowsTheWindowsSize) {
  Start("");
  Spin(1200);  // the relayout's key has gone out
  ClearReceived(receiver);
  const QSize client = panel->client->size();
  const QRect display = panel->display->geometry();
  const QRect enter = panel->keypadButtons[8]->geometry();
  const int lineHeight = panel->display->LineHeight();
  auto scaled = [](const QRect& r, int factor) {
    return QRect(r.topLeft() * factor, r.size() * factor);
  };
  DispatchCommand(*panel, kZoomInCommand);
  DispatchCommand(*panel, kZoomInCommand);
  Spin(200);  // the window system's answer to the new size
  EXPECT_EQ(panel->zoom, 200);
  EXPECT_EQ(panel->client->size(), client * 2);
  EXPECT_EQ(panel->display->geometry(), scaled(display, 2));
  EXPECT_EQ(panel->keypadButtons[8]->geometry(), scaled(enter, 2));
  EXPECT_GE(panel->display->LineHeight(), 2 * lineHeight - 1);
  EXPECT_GE(panel->statusBar->FieldHeight(), 2 * 15) << "the status bar's fields grow too";

  // Dragged three times as wide and more than as high, then wide and low: the largest zoom
  // that fits, the status bar across the whole width.
  int bars = panel->window->height() - panel->client->height();
  panel->window->resize(client.width() * 3, (client.height() + bars) * 4);
  Spin(200);
  EXPECT_EQ(panel->zoom, 300);
  EXPECT_EQ(panel->display->geometry(), scaled(display, 3));
  panel->window->resize(client.width() * 4, client.height() * 2 + bars * 3);
  Spin(200);
  EXPECT_GE(panel->zoom, 200);
  EXPECT_LT(panel->zoom, 300) << "as high as the window allows";
  EXPECT_LE(panel->keypadButtons[kKeypadButtonCount - 1]->geometry().bottom(),
            panel->client->height());
  EXPECT_EQ(panel->statusBar->width(), panel->window->width());
  panel->window->resize(100, 100);
  Spin(200);
  // Back to the window's least size, which the menu and status bars' fonts may make a
  // little larger than the display's at 100%.
  EXPECT_LT(panel->zoom, 150);
  EXPECT_GE(panel->client->width(), client.width()) << "never smaller than at 100%";
  EXPECT_GE(panel->client->height(), client.height());
  Spin(100);
  EXPECT_TRUE(Keys().empty()) << "resizing sends no key";

  // Full screen (F11): as large as the screen allows, and back to the zoom before it.
  DispatchCommand(*panel, kZoomInCommand);
  Spin(200);
  QSize screen = panel->window->screen()->availableGeometry().size();
  DispatchCommand(*panel, kFullScreenCommand);
  Spin(200);
  EXPECT_GT(panel->zoom, 150);
  EXPECT_LE(panel->client->width(), screen.width());
  EXPECT_LE(panel->client->height(), screen.height());
  EXPECT_TRUE(panel->actions[kFullScreenCommand]->isChecked());
  DispatchCommand(*panel, kFullScreenCommand);
  Spin(200);
  EXPECT_EQ(panel->zoom, 150);
  EXPECT_EQ(panel->client->size(), QSize(client.width() * 3 / 2, client.height() * 3 / 2));
  EXPECT_FALSE(panel->actions[kFullScreenCommand]->isChecked());
}

TEST_F(PanelTest, TheWindowAnswersWhileASlowReceiverIsFound) {
  ReceiverScript script = Script(kMorwick);
  script.enqReply = EnqReply::kSilent;  // found by the break path, its reply 1.5 s late
  script.unaskedReplyMs = 1500;
  StartReceiver(script);
  Launch(FakeReceiverPath(receiver), "");

  QElapsedTimer clock;
  clock.start();
  qint64 firedAt = -1;
  QTimer::singleShot(100, panel->window, [&] { firedAt = clock.elapsed(); });
  int paints = panel->display->Paints();
  panel->display->update();
  bool sawChecking = false;
  ASSERT_TRUE(SpinUntil([&] {
    sawChecking = sawChecking || Message() == "Checking for GPS receiver...";
    return firedAt >= 0 && panel->display->Paints() > paints && clock.elapsed() > 300;
  }));
  EXPECT_LT(firedAt, 600) << "the event loop turns during the connect";
  EXPECT_TRUE(Connecting(panel->connection));
  DispatchCommand(*panel, 2055);  // a key while connecting sends nothing
  ASSERT_TRUE(WaitForOutcome());
  EXPECT_TRUE(sawChecking);
  EXPECT_EQ(Connected(), 1);
  Spin(100);
  EXPECT_EQ(Keys(), (std::vector<int>{0x50, 0x50, 0x50, 0x50})) << "a start-up's, no Control";
}

TEST_F(PanelTest, WithReconnectOffALostReceiverWaitsForConnect) {
  StartReceiver(Script(kMorwick));
  StartPanel(FakeReceiverPath(receiver), "-M");
  EXPECT_FALSE(panel->actions[kAutoReconnectCommand]->isChecked());
  HangUpFakeReceiver(receiver);
  ASSERT_TRUE(SpinUntil([&] { return panel->connection.state == LinkState::kLost; }, 3000));
  EXPECT_TRUE(Message().contains("use Connect to reconnect")) << Message().toStdString();
  EXPECT_FALSE(panel->controller->reconnectTimer()->isActive());
  DispatchCommand(*panel, kAutoReconnectCommand);  // the Device menu's item turns it on
  EXPECT_TRUE(panel->actions[kAutoReconnectCommand]->isChecked());
  EXPECT_TRUE(panel->controller->reconnectTimer()->isActive());
  EXPECT_TRUE(Message().contains("reconnecting to")) << Message().toStdString();
}

}  // namespace
