// SPDX-License-Identifier: BSD-2-Clause
#include "panel/history_window.h"

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QVBoxLayout>

#include "base/status_message.h"
#include "panel/display_widget.h"
#include "panel/panel.h"
#include "panel/screen_history.h"

QString ScreenAsText(const ScreenImage& image) {
  char text[kScreenTextSize];
  ScreenText(image, false, text);
  QString out;
  for (const char* c = text; *c != '\0'; ++c) {
    out += QChar(Cp1252ToUnicode(static_cast<uint8_t>(*c)));
  }
  return out;
}

HistoryWindow::HistoryWindow(Panel& panel) : QDialog(nullptr), panel_(panel) {
  setWindowTitle("Tarnex screen history");
  list_ = new QListWidget(this);
  list_->setFixedWidth(120);
  slider_ = new QSlider(Qt::Horizontal, this);
  display_ = new DisplayWidget(this, screen_);
  display_->setFixedSize(kScreenColumns * 10 + 2, kScreenLines * 16 + 1);
  display_->SetVisibleCells(kScreenColumns, kScreenLines);
  auto* copy = new QPushButton("&Copy", this);
  auto* picture = new QPushButton("Save &picture...", this);
  auto* text = new QPushButton("Save &text...", this);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {copy, picture, text}) buttons->addWidget(button);
  auto* right = new QVBoxLayout;
  right->addWidget(display_);
  right->addWidget(slider_);
  right->addLayout(buttons);
  right->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(right);
  QObject::connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) ShowEntry(row);
  });
  QObject::connect(slider_, &QSlider::valueChanged, list_,
                   [this](int value) { list_->setCurrentRow(value); });
  QObject::connect(copy, &QPushButton::clicked, this,
                   [this] { QGuiApplication::clipboard()->setText(ShownText()); });
  auto* copyKey = new QShortcut(QKeySequence::Copy, this);
  QObject::connect(copyKey, &QShortcut::activated, copy, &QPushButton::click);
  QObject::connect(picture, &QPushButton::clicked, this, [this] { SavePicture(); });
  QObject::connect(text, &QPushButton::clicked, this, [this] { SaveText(); });
  resize(580, 200);
  Refresh();
}

void HistoryWindow::Refresh() {
  const ScreenHistory& history = panel_.history;
  if (history.total == listedTotal_) return;
  bool follow = list_->count() == 0 || list_->currentRow() == list_->count() - 1;
  // Once the oldest screens are let go, the list is made anew; before, it only grows.
  if (history.count == kHistorySize) list_->clear();
  for (int i = list_->count(); i < history.count; ++i) {
    char time[32];
    HistoryTimeText(HistoryAt(history, i), time, sizeof time);
    list_->addItem(QString::fromLatin1(time));
  }
  listedTotal_ = history.total;
  slider_->setRange(0, history.count - 1);
  if (follow) list_->setCurrentRow(history.count - 1);
}

void HistoryWindow::ShowEntry(int index) {
  if (index < 0 || index >= panel_.history.count) return;
  shown_ = index;
  screen_ = DisplayScreen();
  TakeOverScreen(screen_, &HistoryAt(panel_.history, index).image);  // with its cursor mark
  display_->update();
  slider_->setValue(index);
}

QString HistoryWindow::ShownText() const {
  if (shown_ < 0) return QString();
  return ScreenAsText(HistoryAt(panel_.history, shown_).image);
}

void HistoryWindow::SavePicture() {
  QString path =
      QFileDialog::getSaveFileName(this, "Save screen", "screen.png", "PNG pictures (*.png)");
  if (path.isEmpty()) return;
  if (!display_->grab().save(path, "PNG")) {
    ShowStatusFailure(("Could not write " + path.toStdString()).c_str());
  }
}

void HistoryWindow::SaveText() {
  QString path = QFileDialog::getSaveFileName(this, "Save screen", "screen.txt", "Text (*.txt)");
  if (path.isEmpty()) return;
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(ShownText().toUtf8()) < 0) {
    ShowStatusFailure(
        ("Could not write " + path.toStdString() + ": " + file.errorString().toStdString())
            .c_str());
  }
}

void ShowScreenHistory(Panel& panel) {
  if (panel.historyWindow == nullptr) panel.historyWindow = new HistoryWindow(panel);
  panel.historyWindow->Refresh();
  BringToFront(panel.historyWindow);
}

void BringToFront(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}

void CopyCurrentScreen(Panel& panel) {
  if (panel.history.count == 0) return;
  QGuiApplication::clipboard()->setText(
      ScreenAsText(HistoryAt(panel.history, panel.history.count - 1).image));
}
