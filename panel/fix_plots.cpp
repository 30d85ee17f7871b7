// SPDX-License-Identifier: BSD-2-Clause
#include "panel/fix_plots.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

void Frame(QPainter& painter, const QWidget& widget) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(widget.rect(), Qt::white);
  painter.setPen(QColor(0xC0, 0xC0, 0xC0));
  painter.drawRect(widget.rect().adjusted(0, 0, -1, -1));
}

// A readable length for the scatter's scale: 1, 2 or 5 times a power of ten metres.
double RoundLength(double metres) {
  double power = std::pow(10.0, std::floor(std::log10(metres)));
  for (double step : {1.0, 2.0, 5.0, 10.0}) {
    if (step * power >= metres) return step * power;
  }
  return 10 * power;
}

QString MetresText(double metres) {
  return metres < 1 ? QString("%1 cm").arg(metres * 100, 0, 'g', 3)
                    : QString("%1 m").arg(metres, 0, 'g', 3);
}

}  // namespace

QColor SystemColour(int system) {
  static const QColor kColours[] = {QColor(0x1F, 0x5F, 0xBF), QColor(0xC8, 0x2A, 0x2A),
                                    QColor(0x1E, 0x8C, 0x3A), QColor(0xE0, 0x80, 0x10),
                                    QColor(0x80, 0x40, 0xA0), QColor(0x8B, 0x5A, 0x2B),
                                    QColor(0x70, 0x70, 0x70), QColor(0x20, 0x20, 0x20)};
  return system >= 0 && system < kGnssSystems ? kColours[system] : kColours[kOtherSystem];
}

SkyPlot::SkyPlot(QWidget* parent, const FixState& fix) : QWidget(parent), fix_(fix) {
  setMinimumSize(220, 220);
}

void SkyPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Frame(painter, *this);
  QPointF centre(width() / 2.0, height() / 2.0);
  double radius = std::min(width(), height()) / 2.0 - 16;
  painter.setPen(QColor(0xB0, 0xB0, 0xB0));
  for (int elevation : {0, 30, 60}) {
    double r = radius * (90 - elevation) / 90.0;
    painter.drawEllipse(centre, r, r);
  }
  painter.drawLine(centre - QPointF(radius, 0), centre + QPointF(radius, 0));
  painter.drawLine(centre - QPointF(0, radius), centre + QPointF(0, radius));
  painter.setPen(Qt::black);
  painter.drawText(QRectF(centre.x() - 8, 0, 16, 14), Qt::AlignCenter, "N");
  painter.drawText(QRectF(width() - 14, centre.y() - 7, 12, 14), Qt::AlignCenter, "E");
  for (int i = 0; i < fix_.satelliteCount; ++i) {
    const SatelliteInView& satellite = fix_.satellites[i];
    if (satellite.elevation < 0 || satellite.azimuth < 0) continue;
    double r = radius * (90 - satellite.elevation) / 90.0;
    double angle = satellite.azimuth * kPi / 180.0;
    QPointF at = centre + QPointF(r * std::sin(angle), -r * std::cos(angle));
    QColor colour = SystemColour(satellite.system);
    painter.setPen(colour);
    painter.setBrush(satellite.used ? QBrush(colour) : Qt::NoBrush);
    painter.drawEllipse(at, 5, 5);
    painter.drawText(at + QPointF(7, 4), QString::number(satellite.id));
  }
}

SignalBars::SignalBars(QWidget* parent, const FixState& fix) : QWidget(parent), fix_(fix) {
  setMinimumSize(300, 120);
}

void SignalBars::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Frame(painter, *this);
  int count = std::max(1, fix_.satelliteCount);
  double slot = (width() - 8) / static_cast<double>(count);
  double floor = height() - 16;
  for (int i = 0; i < fix_.satelliteCount; ++i) {
    const SatelliteInView& satellite = fix_.satellites[i];
    QColor colour = SystemColour(satellite.system);
    double level = std::clamp(satellite.signal, 0, 55) / 55.0 * (floor - 6);
    QRectF bar(4 + i * slot + 1, floor - level, std::max(2.0, slot - 2), level);
    painter.setPen(colour);
    painter.setBrush(satellite.used ? QBrush(colour) : Qt::NoBrush);
    painter.drawRect(bar);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(4 + i * slot, floor, slot, 14), Qt::AlignCenter,
                     QString::number(satellite.id));
  }
}

ScatterPlot::ScatterPlot(QWidget* parent, const PositionScatter& scatter)
    : QWidget(parent), scatter_(scatter) {
  setMinimumSize(220, 220);
}

void ScatterPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Frame(painter, *this);
  ScatterStatistics stats = ScatterStatisticsOf(scatter_);
  if (stats.count == 0) {
    painter.drawText(rect(), Qt::AlignCenter, "No position yet");
    return;
  }
  // The 95% circle fills most of the picture; a still receiver's spread shows as it is.
  double span = RoundLength(std::max(stats.radius95 * 1.25, 0.005));
  double scale = (std::min(width(), height()) / 2.0 - 12) / span;
  QPointF centre(width() / 2.0, height() / 2.0);
  painter.setPen(QColor(0xB0, 0xB0, 0xB0));
  painter.drawLine(centre - QPointF(span * scale, 0), centre + QPointF(span * scale, 0));
  painter.drawLine(centre - QPointF(0, span * scale), centre + QPointF(0, span * scale));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1F, 0x5F, 0xBF, 0x90));
  for (int i = 0; i < scatter_.count; ++i) {
    const ScatterPoint& point = ScatterAt(scatter_, i);
    QPointF at = centre + QPointF((point.east - stats.meanEast) * scale,
                                  -(point.north - stats.meanNorth) * scale);
    painter.drawEllipse(at, 1.5, 1.5);
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(0x1E, 0x8C, 0x3A), 1.5));
  painter.drawEllipse(centre, stats.radius50 * scale, stats.radius50 * scale);
  painter.setPen(QPen(QColor(0xC8, 0x2A, 0x2A), 1.5));
  painter.drawEllipse(centre, stats.radius95 * scale, stats.radius95 * scale);
  painter.setPen(Qt::black);
  painter.drawText(QRectF(4, 2, width() - 8, 30), Qt::AlignLeft,
                   QString("%1 positions, axes %2\nheight sd %3")
                       .arg(stats.count)
                       .arg(MetresText(span), MetresText(stats.sdUp)));
  painter.drawText(QRectF(4, height() - 30, width() - 8, 28), Qt::AlignLeft | Qt::AlignBottom,
                   QString("50% within %1 (green)\n95% within %2 (red)")
                       .arg(MetresText(stats.radius50), MetresText(stats.radius95)));
}

TimelinePlot::TimelinePlot(QWidget* parent, const FixTimeline& timeline)
    : QWidget(parent), timeline_(timeline) {
  setMinimumSize(300, 90);
}

void TimelinePlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Frame(painter, *this);
  if (timeline_.count < 2) return;
  std::time_t last = TimelineAt(timeline_, timeline_.count - 1).when;
  double floor = height() - 14;
  auto x = [&](std::time_t when) {
    return 4 + (width() - 8) * (1.0 - static_cast<double>(last - when) / kTimelineSeconds);
  };
  QPainterPath used, hdop;
  bool usedStarted = false, hdopStarted = false;
  for (int i = 0; i < timeline_.count; ++i) {
    const FixSample& sample = TimelineAt(timeline_, i);
    if (sample.used >= 0) {
      QPointF at(x(sample.when), floor - std::min(sample.used, 40) / 40.0 * (floor - 4));
      usedStarted ? used.lineTo(at) : used.moveTo(at);
      usedStarted = true;
    }
    if (sample.hdop >= 0) {
      QPointF at(x(sample.when), floor - std::min(sample.hdop, 5.0) / 5.0 * (floor - 4));
      hdopStarted ? hdop.lineTo(at) : hdop.moveTo(at);
      hdopStarted = true;
    }
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(0x1F, 0x5F, 0xBF), 1.5));
  painter.drawPath(used);
  painter.setPen(QPen(QColor(0xE0, 0x80, 0x10), 1.5));
  painter.drawPath(hdop);
  painter.setPen(Qt::black);
  painter.drawText(QRectF(4, height() - 14, width() - 8, 14), Qt::AlignLeft,
                   "the last hour: satellites used (blue, 0-40), HDOP (orange, 0-5)");
}
