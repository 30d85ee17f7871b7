// SPDX-License-Identifier: BSD-2-Clause
#include "panel/fix_window.h"

#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <ctime>

#include "base/status_message.h"
#include "base/tick.h"
#include "capture/shared_fix.h"
#include "panel/fix_plots.h"
#include "panel/panel.h"

namespace {

constexpr int kRefreshMs = 1000;

// Green for a fix to survey with, amber for one to be careful with, red for none.
QString QualityColour(int quality) {
  if (quality == kRtkFixed) return "#1E8C3A";
  if (quality == kNoFix || quality == kEstimatedFix) return "#C82A2A";
  return "#C07000";
}

}  // namespace

FixWindow::FixWindow(Panel& panel) : QDialog(nullptr), panel_(panel) {
  setWindowTitle("Tarnex fix");
  quality_ = new QLabel(this);
  figures_ = new QLabel(this);
  figures_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  figures_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  auto* sky = new SkyPlot(this, fix_);
  auto* scatter = new ScatterPlot(this, scatter_);
  auto* signal = new SignalBars(this, fix_);
  auto* timeline = new TimelinePlot(this, timeline_);
  for (QWidget* plot : {static_cast<QWidget*>(sky), static_cast<QWidget*>(scatter),
                        static_cast<QWidget*>(signal), static_cast<QWidget*>(timeline)}) {
    plots_.emplace_back(plot, plot->minimumSize());
  }
  baseFont_ = font();
  auto* reset = new QPushButton("&Reset positions", this);
  auto* copy = new QPushButton("&Copy", this);
  auto* picture = new QPushButton("Save &picture...", this);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {reset, copy, picture}) buttons->addWidget(button);
  buttons->addStretch();
  auto* left = new QVBoxLayout;
  left->addWidget(quality_);
  left->addWidget(figures_, 1);
  left->addLayout(buttons);
  auto* plots = new QGridLayout;
  plots->addWidget(sky, 0, 0);
  plots->addWidget(scatter, 0, 1);
  plots->addWidget(signal, 1, 0, 1, 2);
  plots->addWidget(timeline, 2, 0, 1, 2);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left);
  layout->addLayout(plots, 1);
  QObject::connect(reset, &QPushButton::clicked, this, [this] {
    ResetScatter(scatter_);
    update();
  });
  QObject::connect(copy, &QPushButton::clicked, this,
                   [this] { QGuiApplication::clipboard()->setText(FiguresText()); });
  auto* copyKey = new QShortcut(QKeySequence::Copy, this);
  QObject::connect(copyKey, &QShortcut::activated, copy, &QPushButton::click);
  QObject::connect(picture, &QPushButton::clicked, this, [this] { SavePicture(); });
  timer_ = new QTimer(this);
  QObject::connect(timer_, &QTimer::timeout, this, [this] {
    if (isVisible()) Refresh();  // a closed window costs nothing and gathers nothing
  });
  timer_->start(kRefreshMs);
  resize(1040, 720);
  if (!panel.fixWindowPlace.isEmpty()) restoreGeometry(panel.fixWindowPlace);  // on a screen
  SetZoom(panel.zoom);
  Refresh();
}

void FixWindow::SetZoom(int percent) {
  QFont zoomed = baseFont_;
  if (zoomed.pointSizeF() > 0) zoomed.setPointSizeF(baseFont_.pointSizeF() * percent / 100);
  setFont(zoomed);
  QFont big = zoomed;
  big.setPointSizeF(zoomed.pointSizeF() * 1.5);
  big.setBold(true);
  quality_->setFont(big);
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (fixed.pointSizeF() > 0) fixed.setPointSizeF(fixed.pointSizeF() * percent / 100);
  figures_->setFont(fixed);
  for (const auto& [plot, size] : plots_) plot->setMinimumSize(size * percent / 100);
}

void FixWindow::Refresh() {
  Tick now = TickCount();
  fix_ = CopySharedFix(panel_.connection.capture->fix, now);
  if (fix_.generation != generation_) {  // another receiver: its own pictures
    generation_ = fix_.generation;
    ResetScatter(scatter_);
    timeline_ = FixTimeline();
    positionAt_ = 0;
  }
  if (fix_.sentences == 0) {
    quality_->setText("No fix told");
    figures_->setText(
        "No NMEA sentences from the receiver:\nturn them on in the receiver's output "
        "settings.");
    update();
    return;
  }
  char text[1024];
  FixReportText(fix_, text, sizeof text);
  figures_->setText(QString::fromLatin1(text));
  bool fresh = FixFresh(fix_, now) && IsConnected(panel_.connection);
  figures_->setEnabled(fresh);  // greyed: what was, not what is
  if (!fresh) {
    char stale[64];
    FixSummaryText(fix_, now, false, stale, sizeof stale);
    quality_->setText(QString("<span style='color:#808080'>%1</span>").arg(stale));
    update();
    return;
  }
  if (fix_.havePosition && fix_.positionAt != positionAt_ && fix_.quality > kNoFix) {
    positionAt_ = fix_.positionAt;  // each position once: none made up while data stops
    AddPosition(scatter_, fix_.latitude, fix_.longitude,
                fix_.haveSeparation ? EllipsoidHeight(fix_) : fix_.altitude);
  }
  FixSample sample;
  sample.when = std::time(nullptr);
  sample.used = SatellitesUsed(fix_);
  sample.hdop = fix_.hdop;
  sample.quality = fix_.quality;
  AddFixSample(timeline_, sample);
  char name[48];
  quality_->setText(QString("<span style='color:%1'>%2</span>")
                        .arg(QualityColour(fix_.quality), FixClassName(fix_, name, sizeof name)));
  update();
}

QString FixWindow::FiguresText() const {
  return figures_->text();
}

void FixWindow::SavePicture() {
  QString path =
      QFileDialog::getSaveFileName(this, "Save the fix", "fix.png", "PNG pictures (*.png)");
  if (path.isEmpty()) return;
  if (!grab().save(path, "PNG"))
    ShowStatusFailure(("Could not write " + path.toStdString()).c_str());
}

void ShowFixWindow(Panel& panel) {
  if (panel.fixWindow == nullptr) panel.fixWindow = new FixWindow(panel);
  panel.fixWindow->Refresh();
  BringToFront(panel.fixWindow);
}
