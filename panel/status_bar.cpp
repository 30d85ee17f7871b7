#include "panel/status_bar.h"

#include <QByteArray>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QThread>
#include <QVBoxLayout>
#include <ctime>

#include "link/status_message.h"
#include "link/tick.h"
#include "panel/main_window.h"
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

// The message field's own label, so that a click on it opens the messages so far.
class MessageLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> clicked;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    QLabel::mousePressEvent(event);
    if (clicked) clicked();
  }
};

// Texts from the link, capture and connection code: handled at once on the user-interface
// thread, forwarded to it, in order, from the receive worker.
void StatusSinkForPanel(const char* text, int kind, void* context) {
  auto* panel = static_cast<Panel*>(context);
  if (!panel->statusBarReady || panel->statusBar == nullptr) return;
  StatusBarWidget* bar = panel->statusBar;
  if (QThread::currentThread() == bar->thread()) {
    OnStatusText(*panel, text, kind);
  } else {
    QByteArray copy(text);
    QMetaObject::invokeMethod(
        bar, [panel, copy, kind] { OnStatusText(*panel, copy.constData(), kind); },
        Qt::QueuedConnection);
  }
}

void SetMessageLine(Panel& panel, const char* text, int kind) {
  char line[kStatusLineWidth + 1];
  FormatStatusLine(text, line);
  panel.statusBar->SetMessage(QString::fromLatin1(line));
  panel.messageField.kind = kind;
  panel.messageField.shownAt = TickCount();
}

}  // namespace

StatusBarWidget::StatusBarWidget(QWidget* parent) : QWidget(parent) {
  font_ = StatusFont(logicalDpiY());
  QFontMetrics metrics(font_);
  fieldHeight_ = metrics.lineSpacing() + 4;
  device_ = MakeField(new QLabel(this), kDeviceX, kSmallFieldWidth);
  port_ = MakeField(new QLabel(this), kPortX, kSmallFieldWidth);
  message_ = MakeField(new MessageLabel(this), kMessageX, 0);
  message_->setToolTip("Click to see the messages so far");
}

void StatusBarWidget::OnMessageClicked(std::function<void()> handler) {
  static_cast<MessageLabel*>(message_)->clicked = std::move(handler);
}

QLabel* StatusBarWidget::MakeField(QLabel* field, int x, int width) {
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
  panel.statusBar->OnMessageClicked([&panel] { ShowMessageHistory(panel); });
  SetStatusSink(StatusSinkForPanel, &panel);
  panel.statusBarReady = 1;
}

// Every text goes to the history. The field shows it unless the receiver is lost (the
// loss text stays until it is back) or it is the poll's clock and what the field holds
// has not been there long enough to be read.
void OnStatusText(Panel& panel, const char* text, int kind) {
  if (!panel.statusBarReady || panel.statusBar == nullptr) return;
  if (kind != kStatusClock) AddMessage(panel.messages, text, kind, std::time(nullptr));
  if (panel.connection.lost) {
    ShowLinkState(panel);
    return;
  }
  if (kind == kStatusClock && !ClockMayReplace(panel.messageField, TickCount())) return;
  SetMessageLine(panel, text, kind);
}

void ShowLinkState(Panel& panel) {
  if (!panel.statusBarReady || panel.statusBar == nullptr) return;
  char text[kCauseSize + 2 * kPathSize];
  LossText(panel.connection, text, sizeof text);
  SetMessageLine(panel, text, kStatusFailure);
}

void ShowMessageHistory(Panel& panel) {
  auto* dialog = new QDialog(panel.window);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle("Tarnex messages");
  auto* list = new QPlainTextEdit(dialog);
  list->setReadOnly(true);
  list->setLineWrapMode(QPlainTextEdit::NoWrap);
  for (int i = 0; i < panel.messages.count; ++i) {
    char line[kStatusLineWidth + 64];
    FormatMessageEntry(MessageAt(panel.messages, i), line, sizeof line);
    list->appendPlainText(QString::fromLatin1(line));
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(list);
  layout->addWidget(buttons);
  dialog->resize(640, 320);
  dialog->show();
}

void ShowDeviceLabel(Panel& panel, const char* text) {
  if (!panel.statusBarReady || panel.statusBar == nullptr) return;
  panel.statusBar->SetDevice(QString::fromLatin1(text));
}

void ShowPortLabel(Panel& panel, const char* text) {
  if (!panel.statusBarReady || panel.statusBar == nullptr) return;
  panel.statusBar->SetPort(QString::fromLatin1(text));
}
