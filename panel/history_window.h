// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <QDialog>

#include "panel/screen_render.h"

class QListWidget;
class QSlider;
class DisplayWidget;
struct Panel;

// View > History...: the screens received so far, by time; the chosen one as the display
// draws it. Arrow keys and the slider move through them; Ctrl+C copies the chosen screen
// as text, and it can be saved as a picture or as text.
class HistoryWindow : public QDialog {
 public:
  explicit HistoryWindow(Panel& panel);

  // Lists the screens that came since the last call.
  void Refresh();
  void ShowEntry(int index);
  int Shown() const { return shown_; }
  QString ShownText() const;
  DisplayWidget* Display() const { return display_; }

 private:
  void SavePicture();
  void SaveText();

  Panel& panel_;
  QListWidget* list_ = nullptr;
  QSlider* slider_ = nullptr;
  DisplayWidget* display_ = nullptr;
  DisplayScreen screen_;
  unsigned long listedTotal_ = 0;  // the history's total when last listed
  int shown_ = -1;
};

// The text of a screen as the display draws it, for the clipboard and text files.
QString ScreenAsText(const ScreenImage& image);
