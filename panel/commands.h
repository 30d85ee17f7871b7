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
  kTwoLineMode = 40001,
  kFourLineMode = 40002,
};

enum TimerId {
  kPollTimerId = 2048,
  kRelayoutTimerId = 76,
};

constexpr int kDeviceMenuItems = kLastDeviceCommand - kFirstDeviceCommand + 1;
