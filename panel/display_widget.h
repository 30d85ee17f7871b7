#pragma once

#include <QFont>
#include <QWidget>

#include "panel/screen_render.h"

// The receiver's display: green field, bold fixed-pitch font, 4 lines of 40 characters.
// It paints the held screen whenever the window system asks; it decides nothing itself.
class DisplayWidget : public QWidget {
 public:
  explicit DisplayWidget(QWidget* parent, const DisplayScreen& screen);

  void SetPanelFont(const QFont& font);
  int CharWidth() const { return charWidth_; }
  int LineHeight() const { return lineHeight_; }
  int Paints() const { return paints_; }  // how often it has been painted

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const DisplayScreen& screen_;
  QFont font_;
  int charWidth_ = 0;
  int lineHeight_ = 0;
  int paints_ = 0;
};
