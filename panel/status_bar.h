// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <QFont>
#include <QStatusBar>
#include <functional>

class QLabel;

// The main window's status bar: the device, port, logging and message fields, each as
// wide as its widest label, the message field taking the rest.
class StatusBarWidget : public QStatusBar {
 public:
  explicit StatusBarWidget(QWidget* parent = nullptr);

  void SetDevice(const QString& text);
  void SetPort(const QString& text);
  // The message field's text; a text too long for the field ends in "…" there, whole in
  // its tooltip (set by the caller) and in Message().
  void SetMessage(const QString& text);
  // The logging field, red while items are being lost.
  void SetLogging(const QString& text, const QString& details, bool failing);
  QString Device() const;
  QString Port() const;
  QString Message() const;
  QLabel* DeviceField() const { return device_; }
  QLabel* PortField() const { return port_; }
  QLabel* MessageField() const { return message_; }
  QLabel* LoggingField() const { return logging_; }
  int FieldHeight() const { return fieldHeight_; }
  void SetZoom(int percent);
  // Called when the user clicks the message field.
  void OnMessageClicked(std::function<void()> handler);

 private:
  void StyleField(QLabel* field);
  void ShowMessageFitted();  // the whole text when it fits, else cut at a word with "…"

  QFont font_;
  int fieldHeight_ = 0;
  QLabel* device_ = nullptr;
  QLabel* port_ = nullptr;
  QLabel* logging_ = nullptr;
  QLabel* message_ = nullptr;
  QString wholeMessage_;  // as given; the field shows as much as fits
};
