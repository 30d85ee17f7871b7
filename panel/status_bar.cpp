// SPDX-License-Identifier: BSD-2-Clause
#include "panel/status_bar.h"

#include <QByteArray>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>
#include <initializer_list>

#include "base/byte_count_text.h"
#include "base/local_time.h"
#include "base/status_message.h"
#include "base/tick.h"
#include "capture/dump_news.h"
#include "panel/logging_controller.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/status_text.h"

namespace {

const QColor kStatusColour(0xD2, 0xD2, 0xD2);
constexpr int kFieldGap = 4;     // between two fields
constexpr int kFrameAndPad = 6;  // a field's sunken frame and a little room, left and right
constexpr int kStripHeight = 15;
constexpr int kBarMargins = 4;  // above and below the fields

// The labels each small field shows; a field is as wide as the widest of them.
const char* const kDeviceSamples[] = {"   com1", "com20", "ttyUSB0", "ttyACM0", "ttyAMA0"};
const char* const kPortSamples[] = {" N/C ", "  A  ", "B-1  ", "B-2  ", "Port4", "??   "};
const char* const kLoggingSamples[] = {"Log off", "Log 999.9 MB REC", "Log 999.99 GB REC",
                                       "Log FAILING REC"};

// The font's character cell (ascent and descent together) is 80/600 of an inch high, so
// that the fields' text fits the 15-pixel strip at 96 dpi.
QFont StatusFont(int dpi) {
  QFont font("Times New Roman");
  font.setStyleHint(QFont::Serif);
  int cell = dpi * 80 / 600;
  for (int size = cell; size > 4; --size) {
    font.setPixelSize(size);
    if (QFontMetrics(font).height() <= cell) break;
  }
  return font;
}

template <size_t N>
int WidestLabel(const QFontMetrics& metrics, const char* const (&labels)[N]) {
  int widest = 0;
  for (const char* label : labels) {
    widest = std::max(widest, metrics.horizontalAdvance(QString::fromLatin1(label)));
  }
  return widest + kFrameAndPad;
}

// The message field's own label: a click on it opens the messages so far, and a new width
// fits its text afresh.
class MessageLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> clicked;
  std::function<void()> resized;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    QLabel::mousePressEvent(event);
    if (clicked) clicked();
  }
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    if (resized) resized();
  }
};

// Texts from the link, capture and connection code: handled at once on the user-interface
// thread, forwarded to it, in order, from the receive worker.
void StatusSinkForPanel(const StatusEvent& event, void* context) {
  auto* panel = static_cast<Panel*>(context);
  if (!panel->statusBarReady || panel->statusBar == nullptr) return;
  StatusBarWidget* bar = panel->statusBar;
  char text[2048];  // a whole path or two; the field and the Messages cut it their way
  StatusEventText(event, text, sizeof text);
  int kind = event.kind;
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
  // The field may cut a long text at the window's edge: the tooltip holds it whole.
  panel.statusBar->MessageField()->setToolTip(QString::fromLatin1(text).simplified() +
                                              "\n(click to see all messages)");
  panel.messageField.kind = kind;
  panel.messageField.shownAt = TickCount();
}

}  // namespace

StatusBarWidget::StatusBarWidget(QWidget* parent) : QStatusBar(parent) {
  device_ = new QLabel(this);
  port_ = new QLabel(this);
  logging_ = new QLabel(this);
  logging_->setText("Log off");
  auto* message = new MessageLabel(this);
  message->resized = [this] { ShowMessageFitted(); };
  message_ = message;
  message_->setToolTip("Click to see the messages so far");
  // The field takes what room there is; a long text never widens the window.
  message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  setStyleSheet("QStatusBar::item { border: none; }");  // the fields have frames of their own
  addWidget(device_);
  addWidget(port_);
  addWidget(logging_);
  addWidget(message_, 1);
  SetZoom(100);
}

// The fields' font and widths, from the screen's resolution and the zoom.
void StatusBarWidget::SetZoom(int percent) {
  font_ = StatusFont(logicalDpiY() * percent / 100);
  QFontMetrics metrics(font_);
  // A one-pixel frame above and below the text, and one pixel to spare.
  fieldHeight_ = std::max(kStripHeight * percent / 100, metrics.height() + 3);
  for (QLabel* field : {device_, port_, logging_, message_}) StyleField(field);
  setFixedHeight(fieldHeight_ + kBarMargins);  // known before the layout runs: it sizes the window
  device_->setFixedWidth(WidestLabel(metrics, kDeviceSamples));
  port_->setFixedWidth(WidestLabel(metrics, kPortSamples));
  logging_->setFixedWidth(WidestLabel(metrics, kLoggingSamples));
  ShowMessageFitted();
}

void StatusBarWidget::OnMessageClicked(std::function<void()> handler) {
  static_cast<MessageLabel*>(message_)->clicked = std::move(handler);
}

void StatusBarWidget::StyleField(QLabel* field) {
  field->setFont(font_);
  field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  field->setLineWidth(1);
  field->setAutoFillBackground(true);
  QPalette palette = field->palette();
  palette.setColor(QPalette::Window, kStatusColour);
  palette.setColor(QPalette::WindowText, Qt::black);
  field->setPalette(palette);
  field->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  field->setTextFormat(Qt::PlainText);
  field->setFixedHeight(fieldHeight_);
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
  wholeMessage_ = text;
  ShowMessageFitted();
  message_->repaint();
}

void StatusBarWidget::ShowMessageFitted() {
  int room = message_->contentsRect().width() - 2 * message_->margin() - 4;
  QString fitted =
      message_->fontMetrics().elidedText(wholeMessage_.trimmed(), Qt::ElideRight, room);
  if (fitted != wholeMessage_.trimmed()) {
    // Cut at the last whole word that fits, so that no word is left half shown.
    int blank = fitted.lastIndexOf(' ', fitted.size() - 2);
    if (blank > 0) fitted = fitted.left(blank) + QChar(0x2026);
  } else {
    fitted = wholeMessage_;
  }
  message_->setText(fitted);
}

void StatusBarWidget::SetLogging(const QString& text, const QString& details, bool failing) {
  QPalette palette = logging_->palette();
  palette.setColor(QPalette::Window, failing ? QColor(0xE0, 0x30, 0x30) : kStatusColour);
  palette.setColor(QPalette::WindowText, failing ? Qt::white : Qt::black);
  logging_->setPalette(palette);
  logging_->setToolTip(details);
  if (logging_->text() == text) return;
  logging_->setText(text);
  logging_->repaint();
}

QString StatusBarWidget::Device() const {
  return device_->text();
}
QString StatusBarWidget::Port() const {
  return port_->text();
}
QString StatusBarWidget::Message() const {
  return wholeMessage_;
}

void CreateStatusBar(Panel& panel) {
  panel.statusBar = new StatusBarWidget();
  panel.window->setStatusBar(panel.statusBar);
  panel.statusBar->OnMessageClicked([&panel] { ShowMessageHistory(panel); });
  auto* refresh = new QTimer(panel.statusBar);  // the logging field's counts, once a second
  QObject::connect(refresh, &QTimer::timeout, panel.statusBar,
                   [&panel] { ShowLoggingField(panel); });
  refresh->start(1000);
  SetStatusSink(StatusSinkForPanel, &panel);
  panel.statusBarReady = 1;
}

// Every text goes to the history. The field shows it unless the receiver is lost (the
// loss text stays until it is back) or it is the poll's clock and what the field holds
// has not been there long enough to be read.
void OnStatusText(Panel& panel, const char* text, int kind) {
  if (!panel.statusBarReady || panel.statusBar == nullptr) return;
  if (kind != kStatusClock) AddMessage(panel.messages, text, kind, std::time(nullptr));
  if (kind == kStatusDetail) return;  // Messages holds it; the field has words for people
  if (SeeksDevice(panel.connection)) {
    ShowLinkState(panel);
    return;
  }
  if (kind == kStatusClock && !ClockMayReplace(panel.messageField, TickCount())) return;
  // Items being lost: the clock must not cover what says so.
  if (kind == kStatusClock && panel.logging->ItemsBeingLost()) return;
  SetMessageLine(panel, text, kind);
}

void ShowLinkState(Panel& panel) {
  if (!panel.statusBarReady || panel.statusBar == nullptr) return;
  char text[kCauseSize + 2 * kPathSize];
  if (panel.connection.state == LinkState::kLost) {
    LossText(panel.connection, text, sizeof text);
  } else {
    WaitingText(panel.connection, TickCount(), text, sizeof text);
  }
  SetMessageLine(panel, text, kStatusFailure);
}

// Time and text in two columns, long texts wrapped, failures in red.
void ShowMessageHistory(Panel& panel) {
  auto* dialog = new QDialog(panel.window);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle("Tarnex messages");
  auto* list = new QTableWidget(panel.messages.count, 2, dialog);
  list->setHorizontalHeaderLabels({"Time", "Message"});
  list->verticalHeader()->hide();
  list->horizontalHeader()->setStretchLastSection(true);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setWordWrap(true);
  list->setShowGrid(false);
  for (int i = 0; i < panel.messages.count; ++i) {
    const MessageEntry& entry = MessageAt(panel.messages, i);
    char at[16];
    TimeOfDayText(entry.at, at, sizeof at);
    QString text = QString::fromLatin1(entry.text).simplified();
    if (entry.repeats > 0) text += QString(" (%1 times)").arg(entry.repeats + 1);
    auto* time = new QTableWidgetItem(QString::fromLatin1(at));
    auto* message = new QTableWidgetItem(text);
    if (entry.kind == kStatusFailure) message->setForeground(QColor(0xB0, 0, 0));
    list->setItem(i, 0, time);
    list->setItem(i, 1, message);
  }
  list->resizeColumnToContents(0);
  list->resizeRowsToContents();
  list->scrollToBottom();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(list);
  layout->addWidget(buttons);
  dialog->resize(640, 320);
  dialog->show();
}

void ShowLoggingField(Panel& panel) {
  if (!panel.statusBarReady || panel.statusBar == nullptr) return;
  LoggingFieldView view;
  const LoggingController& logging = *panel.logging;
  view.on = logging.IsLogging();
  view.failing = logging.ItemsBeingLost();
  view.recording = logging.IsRecording();
  QString folder = QString::fromLocal8Bit(logging.FolderText().c_str());
  QString details = view.on ? QString("Logging into %1").arg(folder)
                            : QString("Logging is off; logs go to %1").arg(folder);
  for (int i = 0; view.on && i < kDumpStreamCount; ++i) {
    PeriodCount period = logging.LoggedThisPeriod(i);
    view.bytes += period.bytes;
    char amount[24];
    ByteCountText(period.bytes, amount, sizeof amount);
    details +=
        QString("\n%1: %2 items (%3)").arg(kDumpStreams[i].baseName).arg(period.items).arg(amount);
    if (period.dropped > 0) details += QString(", %1 sentences dropped").arg(period.dropped);
    if (period.lost > 0) details += QString(", %1 LOST").arg(period.lost);
  }
  if (view.recording) {
    details += QString("\nRecording the session to %1").arg(logging.RecordingPath().c_str());
  }
  char text[48];
  LoggingFieldText(view, text, sizeof text);
  panel.statusBar->SetLogging(QString::fromLatin1(text), details, view.failing);
}

void ShowDeviceLabel(Panel& panel, const char* text) {
  if (!panel.statusBarReady || panel.statusBar == nullptr) return;
  panel.statusBar->SetDevice(QString::fromLatin1(text));
  panel.statusBar->DeviceField()->setToolTip(
      QString("The device in use: %1").arg(QString::fromLocal8Bit(panel.device.portPath)));
}

void ShowPortLabel(Panel& panel, const char* text) {
  if (!panel.statusBarReady || panel.statusBar == nullptr) return;
  panel.statusBar->SetPort(QString::fromLatin1(text));
  panel.statusBar->PortField()->setToolTip(QString::fromLatin1(PortToolTip(text)));
}
