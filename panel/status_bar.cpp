#include "panel/status_bar.h"

#include <QLabel>
#include <QMetaObject>
#include <QThread>

#include "link/status_message.h"
#include "panel/panel.h"
#include "panel/status_text.h"

namespace {

const QColor kStatusColour(0xD2, 0xD2, 0xD2);
constexpr int kDeviceX = 0, kPortX = 34, kMessageX = 68, kSmallFieldWidth = 30;

QFont StatusFont(int dpi) {
  QFont font("Times New Roman");
  font.setStyleHint(QFont::Serif);
  font.setPixelSize(dpi * 80 / 600);
  return font;
}

// Texts from the link and the capture code: drawn at once on the user-interface thread,
// forwarded to it, in order, from the receive worker.
void StatusSinkForPanel(const char* text, void* context) {
  auto* panel = static_cast<Panel*>(context);
  if (!panel->statusBarReady || panel->statusBar == nullptr) return;
  char line[kStatusLineWidth + 1];
  FormatStatusLine(text, line);
  QString message = QString::fromLatin1(line);
  StatusBarWidget* bar = panel->statusBar;
  if (QThread::currentThread() == bar->thread()) {
    bar->SetMessage(message);
  } else {
    QMetaObject::invokeMethod(
        bar, [bar, message] { bar->SetMessage(message); }, Qt::QueuedConnection);
  }
}

}  // namespace

StatusBarWidget::StatusBarWidget(QWidget* parent) : QWidget(parent) {
  font_ = StatusFont(logicalDpiY());
  QFontMetrics metrics(font_);
  fieldHeight_ = metrics.lineSpacing() + 4;
  device_ = MakeField(kDeviceX, kSmallFieldWidth);
  port_ = MakeField(kPortX, kSmallFieldWidth);
  message_ = MakeField(kMessageX, 0);
}

QLabel* StatusBarWidget::MakeField(int x, int width) {
  auto* field = new QLabel(this);
  field->setFont(font_);
  field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  field->setLineWidth(1);
  field->setAutoFillBackground(true);
  QPalette palette = field->palette();
  palette.setColor(QPalette::Window, kStatusColour);
  palette.setColor(QPalette::WindowText, Qt::black);
  field->setPalette(palette);
  field->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  field->setTextFormat(Qt::PlainText);
  field->setGeometry(x, 0, width > 0 ? width : parentWidget()->width() - kMessageX, fieldHeight_);
  return field;
}

void StatusBarWidget::SetDevice(const QString& text) {
  device_->setText(text);
  device_->repaint();
}

void StatusBarWidget::SetPort(const QString& text) {
  port_->setText(text);
  port_->repaint();
}

void StatusBarWidget::SetMessage(const QString& text) {
  message_->setText(text);
  message_->repaint();
}

QString StatusBarWidget::Device() const {
  return device_->text();
}
QString StatusBarWidget::Port() const {
  return port_->text();
}
QString StatusBarWidget::Message() const {
  return message_->text();
}

void CreateStatusBar(Panel& panel) {
  QWidget* client = panel.client;
  panel.statusBar = new StatusBarWidget(client);
  int h = panel.statusBar->FieldHeight();
  panel.statusBar->setGeometry(0, client->height() - h, client->width(), h);
  panel.statusBar->show();
  SetStatusSink(StatusSinkForPanel, &panel);
  panel.statusBarReady = 1;
}

void ShowDeviceLabel(Panel& panel, const char* text) {
  if (!panel.statusBarReady || panel.statusBar == nullptr) return;
  panel.statusBar->SetDevice(QString::fromLatin1(text));
}

void ShowPortLabel(Panel& panel, const char* text) {
  if (!panel.statusBarReady || panel.statusBar == nullptr) return;
  panel.statusBar->SetPort(QString::fromLatin1(text));
}
