#include "panel/display_widget.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include "link/status_message.h"
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

// The largest bold fixed-pitch font whose character cell fits the given cell.
QFont FitPanelFont(int maxWidth, int maxHeight) {
  QFont font(PanelFontFamily());
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setBold(true);
  for (int size = maxHeight; size > 4; --size) {
    font.setPixelSize(size);
    QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(QLatin1Char('M')) <= maxWidth &&
        metrics.lineSpacing() <= maxHeight) {
      return font;
    }
  }
  return font;
}

}  // namespace

DisplayWidget::DisplayWidget(QWidget* parent, const DisplayScreen& screen)
    : QWidget(parent), screen_(screen) {}

void DisplayWidget::SetPanelFont(const QFont& font) {
  font_ = font;
  QFontMetrics metrics(font_);
  charWidth_ = metrics.horizontalAdvance(QLatin1Char('M'));
  lineHeight_ = metrics.lineSpacing();
  update();
}

void DisplayWidget::paintEvent(QPaintEvent*) {
  ++paints_;
  QPainter painter(this);
  painter.fillRect(rect(), screen_.stale ? kStaleGreen : kPanelGreen);
  painter.setFont(font_);
  painter.setPen(screen_.stale ? kStaleText : Qt::black);
  QFontMetrics metrics(font_);
  const ScreenImage& shown = ShownScreen(screen_);
  for (int line = 0; line < kScreenLines; ++line) {
    QString text(kScreenColumns, QLatin1Char(' '));
    if (screen_.haveScreen) {  // four blank lines until a screen is held
      for (int column = 0; column < kScreenColumns; ++column) {
        uint8_t code = shown.bytes[line * kScreenColumns + column];
        text[column] = QChar(Cp1252ToUnicode(code));
      }
    }
    painter.drawText(1, 1 + line * lineHeight_ + metrics.ascent(), text);
  }
  painter.setPen(Qt::black);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));  // the black frame
}

void SetUpDisplayFont(Panel& panel, int mode) {
  int dpi = panel.display->logicalDpiY();
  QFont font =
      mode == kFourLineMode ? FitPanelFont(10 * dpi / 96, 16 * dpi / 96) : FitPanelFont(1000, 36);
  panel.display->SetPanelFont(font);
}

void CreateDisplayPanel(Panel& panel) {
  panel.display = new DisplayWidget(panel.client, panel.screen);
  panel.display->setGeometry(kPanelX, kPanelY, 100, 100);
  panel.display->show();
  char text[64];
  std::snprintf(text, sizeof text, "TextDC=%08xh, Window=%08xh",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(&panel.screen)),
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(panel.display)));
  ShowStatusMessage(text);
  SetUpDisplayFont(panel, kFourLineMode);
  panel.display->setGeometry(kPanelX, kPanelY, 40 * panel.display->CharWidth() + 2,
                             4 * panel.display->LineHeight() + 1);
}

void RenderScreen(Panel& panel, const ScreenImage* image) {
  if (!panel.statusBarReady || panel.display == nullptr) return;
  if (!TakeOverScreen(panel.screen, image)) return;
  panel.display->repaint();
}
