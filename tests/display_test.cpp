// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <cstring>
#include <utility>
#include <vector>

#include "panel/display_widget.h"
#include "panel/status_bar.h"
#include "panel/status_text.h"

namespace {

bool Dark(QRgb pixel) {
  return qGreen(pixel) < 128;  // ink, on the green field and on white alike
}

int DarkPixels(const QImage& image, const QRect& area) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) count += Dark(image.pixel(x, y));
  }
  return count;
}

// The same characters as the display draws them, on a canvas with room all round: what
// the display's frame or edges cut off is missing from the grab but not from this.
QImage Unclipped(const DisplayWidget& display, const ScreenImage& shown, int margin) {
  QImage image(display.width() + 2 * margin, display.height() + 2 * margin, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setFont(display.PanelFont());
  painter.setPen(Qt::black);
  for (int cell = 0; cell < kScreenCells; ++cell) {
    uint8_t code = shown.bytes[cell];
    if (code == ' ') continue;
    QPointF at = display.CellOrigin(cell % kScreenColumns, cell / kScreenColumns);
    painter.drawText(at + QPointF(margin, margin), QString(QChar(Cp1252ToUnicode(code))));
  }
  return image;
}

struct Layout {
  const char* name;
  int width, height, columns, lines;
};

// Every line of both layouts, with the cursor on it: its mark shows and no glyph row of
// any character is lost to the frame or to the panel's edges.
TEST(Display, EveryGlyphRowAndCursorMarkIsVisible) {
  const Layout layouts[] = {
      {"four-line", 402, 65, 40, 4},       {"two-line", 310, 65, 20, 2},
      {"four-line 150%", 603, 97, 40, 4},  {"two-line 150%", 465, 97, 20, 2},
      {"four-line 200%", 804, 130, 40, 4}, {"two-line 200%", 620, 130, 20, 2}};
  const char* const text[] = {"gjpqy_|()[]{}QM@$ ,;Wg", "yyyy gggg jjjj pppp qqqq ____", "Agy_",
                              "|_|_|_|_|_|_|_|_|_|_|_|_|_|_|_|_|_|_|_"};
  for (const Layout& layout : layouts) {
    for (int line = 0; line < layout.lines; ++line) {
      DisplayScreen screen;
      DisplayWidget display(nullptr, screen);
      display.setGeometry(0, 0, layout.width, layout.height);
      display.SetVisibleCells(layout.columns, layout.lines);
      ScreenImage image = BlankScreen();
      for (int l = 0; l < kScreenLines; ++l) {
        std::memcpy(image.bytes + l * kScreenColumns, text[l], std::strlen(text[l]));
        image.bytes[l * kScreenColumns + layout.columns - 1] = 'g';  // the last visible cell
      }
      int cursorColumn = layout.columns - 2;  // a blank cell: only the mark is there
      image.bytes[kScreenCells] = static_cast<uint8_t>(line * kScreenColumns + cursorColumn);
      ASSERT_TRUE(TakeOverScreen(screen, &image));
      ASSERT_EQ(screen.cursorPhase, 1);

      QImage grabbed = display.grab().toImage();
      ScreenImage visible = ShownScreen(screen);
      for (int cell = 0; cell < kScreenCells; ++cell) {  // what lies beyond the panel
        if (cell % kScreenColumns >= layout.columns || cell / kScreenColumns >= layout.lines) {
          visible.bytes[cell] = ' ';
        }
      }
      const int margin = 20;
      QImage whole = Unclipped(display, visible, margin);
      QRect inside = grabbed.rect().adjusted(1, 1, -1, -1);
      EXPECT_EQ(DarkPixels(grabbed, inside), DarkPixels(whole, whole.rect()))
          << layout.name << ", cursor on line " << line + 1;

      QPointF mark = display.CellOrigin(cursorColumn, line);
      QRect markCell(static_cast<int>(mark.x()), static_cast<int>(mark.y()), display.CharWidth(),
                     display.LineHeight() / 2);  // below the baseline
      EXPECT_GT(DarkPixels(grabbed, markCell.intersected(inside)), 3)
          << layout.name << ": the cursor mark on line " << line + 1;
      // The cells fill the width: the last visible column ends at the frame.
      EXPECT_GE(display.CellOrigin(layout.columns - 1, 0).x() + display.CharWidth(),
                layout.width - 2 - 1)
          << layout.name;
    }
  }
}

// Each field of the status bar holds every label the panel gives it (the port's and the
// logging field's as the panel makes them), and its text's whole height, inside its frame.
TEST(StatusBar, FieldsHoldTheirLabelsWhole) {
  QMainWindow window;
  auto* owned = new StatusBarWidget();
  window.setStatusBar(owned);
  window.resize(454, 320);
  window.show();  // the bar's layout places the fields
  QCoreApplication::processEvents();
  StatusBarWidget& bar = *owned;
  std::vector<QString> ports, logging;
  for (uint32_t port : {0u, 1u, 2u, 3u, 4u, 9u}) ports.push_back(PortLabel(port));
  // Off, failing, and the widest counts of each unit, up to what a year's period writes.
  for (unsigned long long bytes : {0ull, 999'949ull, 999'949'999ull, 999'994'999'999ull}) {
    for (LoggingFieldView view : {LoggingFieldView{bytes > 0, false, true, bytes},
                                  LoggingFieldView{true, true, true, bytes}}) {
      char text[64];
      LoggingFieldText(view, text, sizeof text);
      logging.push_back(text);
    }
  }
  const std::pair<QLabel*, std::vector<QString>> fields[] = {
      {bar.DeviceField(), {"   com1", "com20", "ttyUSB0", "ttyACM0", "  com5", "ttyS0"}},
      {bar.PortField(), ports},
      {bar.LoggingField(), logging},
  };
  for (const auto& [label, texts] : fields) {
    QFontMetrics metrics(label->font());
    QRect room = label->contentsRect();
    EXPECT_LE(metrics.height(), room.height());
    EXPECT_LE(label->geometry().bottom(), bar.height() - 1);
    for (const QString& text : texts)
      EXPECT_LE(metrics.horizontalAdvance(text), room.width()) << text.toStdString();
  }
  EXPECT_GT(bar.PortField()->x(), bar.DeviceField()->geometry().right());
  EXPECT_GT(bar.LoggingField()->x(), bar.PortField()->geometry().right());
  EXPECT_GT(bar.MessageField()->x(), bar.LoggingField()->geometry().right());
  // A message longer than its field ends there at a whole word with "…"; it stays whole
  // for the one who asks (and in the tooltip).
  const QString waiting =
      "Waiting for the receiver on /tmp/ux3w.5oXc/rt (next try in 5 s). Last "
      "try: No such file or directory: /tmp/ux3w.5oXc/rt";
  bar.SetMessage(waiting);
  QString shown = bar.MessageField()->text();
  EXPECT_EQ(bar.Message(), waiting);
  ASSERT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
  QString kept = shown.chopped(1);
  EXPECT_TRUE(waiting.startsWith(kept) && waiting[kept.size()] == ' ') << "cut at a word";
  EXPECT_LE(bar.MessageField()->fontMetrics().horizontalAdvance(shown),
            bar.MessageField()->contentsRect().width());
  bar.SetMessage("Connected");
  EXPECT_EQ(bar.MessageField()->text(), "Connected");
}

}  // namespace
