// SPDX-License-Identifier: BSD-2-Clause
#include "panel/display_widget.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <cmath>

#include "base/status_message.h"
#include "panel/panel.h"

namespace {

constexpr int kPanelX = 10, kPanelY = 30;
const QColor kPanelGreen(0, 255, 0);
const QColor kStaleGreen(150, 190, 150);  // a lost receiver's last screen, greyed
const QColor kStaleText(80, 80, 80);

// The display's face travels with the program, so that the 4 x 40 characters have the
// same cells on every machine, whatever monospace faces it has or lacks.
QString PanelFontFamily() {
  static const QString family = [] {
    int id = QFontDatabase::addApplicationFont(":/res/fonts/DejaVuSansMono-Bold.ttf");
    QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (id < 0 || families.isEmpty()) {
      ShowStatusFailure("Could not load the display font; using the system's monospace face");
      return QString("Courier");
    }
    return families.first();
  }();
  return family;
}

constexpr int kFrame = 1;  // the black frame round the field
// What the receiver's screens are made of: the size of the font is chosen so that all of
// these fit a cell whole, the cursor mark and the descenders included.
const char* const kInkSample =
    "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
    "abcdefghijklmnopqrstuvwxyz{|}~";

// The largest bold fixed-pitch font whose characters fit a cell of the given size.
QFont FitPanelFont(double cellWidth, double cellHeight, double& inkTop, double& inkHeight) {
  QFont font(PanelFontFamily());
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setBold(true);
  QString sample = QString::fromLatin1(kInkSample) + QChar(0xAB) + QChar(0xBA) + QChar(0xB0);
  for (int size = static_cast<int>(cellHeight) + 4; size > 4; --size) {
    font.setPixelSize(size);
    QFontMetricsF metrics(font);
    QRectF ink = metrics.tightBoundingRect(sample);
    // A pixel spare each way: antialiasing reaches into the pixel beyond the outline.
    if (metrics.horizontalAdvance(QLatin1Char('M')) <= cellWidth &&
        std::ceil(ink.height()) <= cellHeight) {
      inkTop = ink.top();  // above the baseline: negative
      inkHeight = ink.height();
      return font;
    }
  }
  inkTop = -4;
  inkHeight = 4;
  return font;
}

}  // namespace

DisplayWidget::DisplayWidget(QWidget* parent, const DisplayScreen& screen)
    : QWidget(parent), screen_(screen) {}

void DisplayWidget::SetVisibleCells(int columns, int lines) {
  columns_ = columns;
  lines_ = lines;
  FitFont();
}

void DisplayWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FitFont();
}

void DisplayWidget::FitFont() {
  cellWidth_ = static_cast<double>(width() - 2 * kFrame) / columns_;
  linePitch_ = static_cast<double>(height() - 2 * kFrame) / lines_;
  double inkTop = 0, inkHeight = 0;
  font_ = FitPanelFont(cellWidth_, linePitch_, inkTop, inkHeight);
  baseline_ = (linePitch_ - inkHeight) / 2 - inkTop;  // the ink centred in the pitch
  glyphLeft_ = (cellWidth_ - QFontMetricsF(font_).horizontalAdvance(QLatin1Char('M'))) / 2;
  update();
}

QPointF DisplayWidget::CellOrigin(int column, int line) const {
  return QPointF(kFrame + column * cellWidth_ + glyphLeft_, kFrame + line * linePitch_ + baseline_);
}

void DisplayWidget::paintEvent(QPaintEvent*) {
  ++paints_;
  QPainter painter(this);
  painter.fillRect(rect(), screen_.stale ? kStaleGreen : kPanelGreen);
  painter.setPen(Qt::black);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));  // the black frame
  if (!screen_.haveScreen) return;                  // blank until a screen is held
  painter.setClipRect(rect().adjusted(kFrame, kFrame, -kFrame, -kFrame));
  painter.setFont(font_);
  painter.setPen(screen_.stale ? kStaleText : Qt::black);
  const ScreenImage& shown = ShownScreen(screen_);
  // Each character in its own cell, so that the cells share the width evenly whatever
  // the font's advance.
  for (int line = 0; line < kScreenLines; ++line) {
    for (int column = 0; column < kScreenColumns; ++column) {
      uint8_t code = shown.bytes[line * kScreenColumns + column];
      if (code == ' ') continue;
      painter.drawText(CellOrigin(column, line), QString(QChar(Cp1252ToUnicode(code))));
    }
  }
}

void SetUpDisplayFont(Panel& panel, int mode) {
  if (mode == kFourLineMode) {
    panel.display->SetVisibleCells(kScreenColumns, kScreenLines);
  } else {
    panel.display->SetVisibleCells(kScreenColumns / 2, kScreenLines / 2);
  }
}

void CreateDisplayPanel(Panel& panel) {
  panel.display = new DisplayWidget(panel.client, panel.screen);
  panel.display->setGeometry(kPanelX, kPanelY, 100, 100);
  panel.display->show();
  char text[64];
  std::snprintf(text, sizeof text, "TextDC=%08xh, Window=%08xh",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(&panel.screen)),
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(panel.display)));
  ShowStatusDetail(text);
  // Cells of 10 x 16 pixels, as the four-line layout has them.
  panel.display->setGeometry(kPanelX, kPanelY, kScreenColumns * 10 + 2, kScreenLines * 16 + 1);
  SetUpDisplayFont(panel, kFourLineMode);
}

void RenderScreen(Panel& panel, const ScreenImage* image) {
  if (!panel.statusBarReady || panel.display == nullptr) return;
  if (!TakeOverScreen(panel.screen, image)) return;
  panel.display->repaint();
}
