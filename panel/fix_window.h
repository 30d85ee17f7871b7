// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <QDialog>
#include <QFont>
#include <QSize>
#include <utility>
#include <vector>

#include "fix/fix_state.h"
#include "fix/fix_timeline.h"
#include "fix/position_scatter.h"

class QLabel;
class QTimer;
struct Panel;

// View > Fix...: the fix as the receiver's NMEA sentences tell it, looked at once a
// second: the figures, a sky plot, each satellite's signal, the positions about their
// mean with their spread (Reset starts them afresh), and the last hour. Copy puts the
// figures on the clipboard; Save picture keeps the window as a PNG.
class FixWindow : public QDialog {
 public:
  explicit FixWindow(Panel& panel);

  // Takes the fix as it is now and redraws.
  void Refresh();
  // Grows with the panel: its text and pictures at `percent` of their size.
  void SetZoom(int percent);
  QString FiguresText() const;  // as shown: the figures, or why there are none

 private:
  void SavePicture();

  Panel& panel_;
  FixState fix_;
  unsigned generation_ = 0;  // the receiver the pictures speak of
  Tick positionAt_ = 0;      // the last position taken into the scatter
  PositionScatter scatter_;
  FixTimeline timeline_;
  QFont baseFont_;
  std::vector<std::pair<QWidget*, QSize>> plots_;  // and their least sizes at 100%
  QLabel* quality_ = nullptr;
  QLabel* figures_ = nullptr;
  QTimer* timer_ = nullptr;
};
