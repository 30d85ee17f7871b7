// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// Command ids: menu items and key buttons send these numbers; timers and notifications
// are numbers too.
enum CommandId {
  kConnectCommand = 2049,
  kAboutCommand = 2051,
  kExitCommand = 2052,
  kFirstKeyCommand = 2054,
  kLastKeyCommand = 2079,
  kFirstDeviceCommand = 2080,  // "COM&1"; item N is 2079 + N
  kLastDeviceCommand = 2099,
  kLoggingOnCommand = 2102,
  kLoggingOffCommand = 2103,
  kAutoReconnectCommand = 2104,   // Device menu: reconnect by itself when the receiver is lost
  kMessagesCommand = 2105,        // File menu: the messages shown so far
  kOtherDeviceCommand = 2106,     // Device menu: any path, asked for
  kHistoryCommand = 2108,         // View menu: the screens received so far
  kCopyScreenCommand = 2101,      // View menu: the current screen to the clipboard, as text
  kRecordCommand = 2107,          // File menu: record the session, or stop recording it
  kDeviceInUseCommand = 2109,     // Device menu: the device in use, when no other item is it
  kFirstFoundPortCommand = 2110,  // Device menu: the serial devices found, 2110..2141
  kLastFoundPortCommand = 2141,
  kKeyboardHelpCommand = 2142,   // Help menu: which keyboard key stands for which key
  kLogFolderCommand = 2143,      // Logging menu: choose the folder the dump files go to
  kOpenLogFolderCommand = 2144,  // Logging menu: open that folder in the file manager
  kZoomInCommand = 2145,         // View menu: 100%, 150%, 200% of the window's own size
  kZoomOutCommand = 2146,
  kZoomResetCommand = 2147,
  kFullScreenCommand = 2148,   // View menu: the panel as large as the screen allows (F11)
  kFirstRecentCommand = 2150,  // Device menu: the devices connected to lately, newest first
  kLastRecentCommand = 2154,
  kFixCommand = 2155,  // View menu: the fix from the receiver's NMEA sentences
  kTwoLineMode = 40001,
  kFourLineMode = 40002,
};

constexpr int kDeviceMenuItems = kLastDeviceCommand - kFirstDeviceCommand + 1;
