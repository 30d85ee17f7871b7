// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <QString>
#include <string>

class QSettings;
struct Panel;

// What the panel remembers between runs (QSettings: the registry on Windows,
// ~/.config/Tarnex/Tarnex.conf on Linux): the last device, the mode, automatic reconnect,
// the log folder once one was chosen, and the window's place.

// The remembered choices as switches, to stand before the command line's own, which
// therefore win: "-D /dev/ttyUSB0 -2 -M".
std::string RememberedSwitches(QSettings& settings);

// The folder the dump files go to when none was chosen yet: the current one, except when
// Tarnex was started from the desktop menu (its current folder is the home folder): then
// "Tarnex" in the user's documents folder.
QString DefaultLogFolder(QSettings& settings);

// The zoom of the last run: 100 to 400 (percent).
int RememberedZoom(QSettings& settings);

// The devices connected to lately, newest first, for the Device menu.
void RecallRecentDevices(Panel& panel, QSettings& settings);

// Puts the window back where it was.
void RestoreWindowPlace(Panel& panel, QSettings& settings);

// Remembers the run's choices; called as the program ends.
void Remember(const Panel& panel, QSettings& settings);
