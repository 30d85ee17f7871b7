// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <QFont>
#include <QWidget>

#include "panel/screen_render.h"

// The receiver's display: green field, bold fixed-pitch font, 4 lines of 40 characters.
// The visible cells share the panel inside its frame evenly, and the font is the largest
// whose characters fit a cell whole. It paints the held screen whenever the window system
// asks; it decides nothing itself.
class DisplayWidget : public QWidget {
 public:
  explicit DisplayWidget(QWidget* parent, const DisplayScreen& screen);

  // The cells the panel shows: 40 x 4, or the first 20 columns of two lines.
  void SetVisibleCells(int columns, int lines);
  const QFont& PanelFont() const { return font_; }
  int CharWidth() const { return static_cast<int>(cellWidth_); }
  int LineHeight() const { return static_cast<int>(linePitch_); }
  // Where the character of a visible cell stands: its left edge and baseline.
  QPointF CellOrigin(int column, int line) const;
  int Paints() const { return paints_; }  // how often it has been painted

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FitFont();

  const DisplayScreen& screen_;
  QFont font_;
  int columns_ = 40;
  int lines_ = 4;
  double cellWidth_ = 10;
  double linePitch_ = 16;
  double baseline_ = 12;  // from the top of a line's pitch
  double glyphLeft_ = 0;  // from the left of a cell, to centre the glyph
  int paints_ = 0;
};
