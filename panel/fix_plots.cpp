// SPDX-License-Identifier: BSD-2-Clause
#include "panel/fix_plots.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kTopSignal = 55;  // dB-Hz at the top of the bars' scale
const QColor kGrid(0xD0, 0xD0, 0xD0);
const QColor kUsedLine(0x1F, 0x5F, 0xBF);
const QColor kHdopLine(0xE0, 0x80, 0x10);

void Frame(QPainter& painter, const QWidget& widget) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(widget.rect(), Qt::white);
  painter.setPen(QColor(0xC0, 0xC0, 0xC0));
  painter.drawRect(widget.rect().adjusted(0, 0, -1, -1));
}

QString Label(const SatelliteInView& satellite) {
  char text[16];
  SatelliteLabel(satellite, text, sizeof text);
  return QString::fromLatin1(text);
}

// The satellites in view by system, then by number.
std::vector<int> Ordered(const FixState& fix) {
  std::vector<int> order;
  for (int i = 0; i < fix.satelliteCount; ++i) order.push_back(i);
  std::sort(order.begin(), order.end(), [&fix](int a, int b) {
    const SatelliteInView& x = fix.satellites[a];
    const SatelliteInView& y = fix.satellites[b];
    return x.system != y.system ? x.system < y.system : x.id < y.id;
  });
  return order;
}

// The systems in view, each in its colour, and what a filled mark means.
void Legend(QPainter& painter, const FixState& fix, const QRectF& area) {
  bool seen[kGnssSystems] = {};
  for (int i = 0; i < fix.satelliteCount; ++i) seen[fix.satellites[i].system] = true;
  QFontMetricsF metrics(painter.font());
  double x = area.left(), y = area.bottom() - metrics.height();
  for (int system = 0; system < kGnssSystems; ++system) {
    if (!seen[system]) continue;
    QString name = GnssSystemName(system);
    double width = metrics.horizontalAdvance(name) + metrics.height() + 8;
    if (x + width > area.right()) {
      x = area.left();
      y -= metrics.height();
    }
    QColor colour = SystemColour(system);
    painter.setPen(colour);
    painter.setBrush(colour);
    double size = metrics.height() * 0.6;
    painter.drawEllipse(QRectF(x, y + (metrics.height() - size) / 2, size, size));
    painter.setPen(Qt::black);
    painter.drawText(QPointF(x + size + 3, y + metrics.ascent()), name);
    x += width;
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QColor(0x60, 0x60, 0x60));
  painter.drawText(QPointF(area.left(), area.top() + metrics.ascent()), "filled: used");
}

}  // namespace

QColor SystemColour(int system) {
  static const QColor kColours[] = {QColor(0x1F, 0x5F, 0xBF), QColor(0xC8, 0x2A, 0x2A),
                                    QColor(0x1E, 0x8C, 0x3A), QColor(0xE0, 0x80, 0x10),
                                    QColor(0x80, 0x40, 0xA0), QColor(0x8B, 0x5A, 0x2B),
                                    QColor(0x70, 0x70, 0x70), QColor(0x20, 0x20, 0x20)};
  return system >= 0 && system < kGnssSystems ? kColours[system] : kColours[kOtherSystem];
}

QString LengthText(double metres) {
  double size = std::fabs(metres);
  if (size < 1e-6) return "0";
  // Three figures at the most, in a unit that keeps the number between 1 and 1000: no
  // exponent ever.
  if (size < 0.01) return QString::number(metres * 1000, 'g', 3) + " mm";
  if (size < 1) return QString::number(metres * 100, 'g', 3) + " cm";
  if (size < 1000) return QString::number(metres, 'g', 3) + " m";
  return QString::number(metres / 1000, 'f', 1) + " km";
}

SkyPlot::SkyPlot(QWidget* parent, const FixState& fix) : QWidget(parent), fix_(fix) {
  setMinimumSize(260, 260);
}

void SkyPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Frame(painter, *this);
  QFontMetricsF metrics(font());
  double legend = metrics.height() * 3;
  QPointF centre(width() / 2.0, (height() - legend) / 2.0 + 2);
  double radius = std::min(width(), static_cast<int>(height() - legend)) / 2.0 - metrics.height();
  painter.setPen(kGrid);
  for (int elevation : {0, 30, 60}) {
    double r = radius * (90 - elevation) / 90.0;
    painter.drawEllipse(centre, r, r);
    if (elevation > 0) {
      painter.setPen(QColor(0x90, 0x90, 0x90));
      painter.drawText(centre + QPointF(3, -r + metrics.ascent()), QString("%1°").arg(elevation));
      painter.setPen(kGrid);
    }
  }
  painter.drawLine(centre - QPointF(radius, 0), centre + QPointF(radius, 0));
  painter.drawLine(centre - QPointF(0, radius), centre + QPointF(0, radius));
  painter.setPen(Qt::black);
  double half = metrics.height() / 2;
  painter.drawText(QRectF(centre.x() - half, centre.y() - radius - 2 * half, 2 * half, 2 * half),
                   Qt::AlignCenter, "N");
  painter.drawText(QRectF(centre.x() + radius, centre.y() - half, 2 * half, 2 * half),
                   Qt::AlignCenter, "E");
  painter.drawText(QRectF(centre.x() - half, centre.y() + radius, 2 * half, 2 * half),
                   Qt::AlignCenter, "S");
  painter.drawText(QRectF(centre.x() - radius - 2 * half, centre.y() - half, 2 * half, 2 * half),
                   Qt::AlignCenter, "W");
  // Marks first, then each label where it covers no mark and no other label.
  double dot = std::max(4.0, metrics.height() / 3);
  std::vector<QPointF> at(static_cast<size_t>(fix_.satelliteCount));
  std::vector<QRectF> taken;
  for (int i = 0; i < fix_.satelliteCount; ++i) {
    const SatelliteInView& satellite = fix_.satellites[i];
    if (satellite.elevation < 0 || satellite.azimuth < 0) continue;
    double r = radius * (90 - satellite.elevation) / 90.0;
    double angle = satellite.azimuth * kPi / 180.0;
    at[static_cast<size_t>(i)] = centre + QPointF(r * std::sin(angle), -r * std::cos(angle));
    QColor colour = SystemColour(satellite.system);
    painter.setPen(colour);
    painter.setBrush(satellite.used ? QBrush(colour) : Qt::NoBrush);
    painter.drawEllipse(at[static_cast<size_t>(i)], dot, dot);
    taken.push_back(
        QRectF(at[static_cast<size_t>(i)] - QPointF(dot, dot), QSizeF(2 * dot, 2 * dot)));
  }
  painter.setBrush(Qt::NoBrush);
  for (int i : Ordered(fix_)) {
    const SatelliteInView& satellite = fix_.satellites[i];
    if (satellite.elevation < 0 || satellite.azimuth < 0) continue;
    QString label = Label(satellite);
    QSizeF size(metrics.horizontalAdvance(label), metrics.height());
    QPointF mark = at[static_cast<size_t>(i)];
    const QPointF places[] = {{dot + 1, -size.height() / 2},
                              {-dot - 1 - size.width(), -size.height() / 2},
                              {-size.width() / 2, -dot - size.height()},
                              {-size.width() / 2, dot},
                              {dot, -dot - size.height()},
                              {-dot - size.width(), -dot - size.height()},
                              {dot, dot},
                              {-dot - size.width(), dot}};
    for (const QPointF& place : places) {
      QRectF box(mark + place, size);
      bool free = rect().contains(box.toRect());
      for (const QRectF& other : taken) free = free && !box.intersects(other);
      if (!free) continue;
      painter.setPen(SystemColour(satellite.system).darker(130));
      painter.drawText(box, Qt::AlignCenter, label);
      taken.push_back(box);
      break;
    }
  }
  Legend(painter, fix_, QRectF(4, height() - legend, width() - 8, legend - 2));
}

SignalBars::SignalBars(QWidget* parent, const FixState& fix) : QWidget(parent), fix_(fix) {
  setMinimumSize(360, 150);
}

namespace {

// Where the bars stand: a slot a satellite, a slot's gap between systems, the scale on
// the left.
struct BarLayout {
  std::vector<int> order;
  std::vector<double> left;
  double width = 0, floor = 0, top = 0, scaleWidth = 0;
};

BarLayout LayBars(const FixState& fix, const QWidget& widget) {
  BarLayout layout;
  QFontMetricsF metrics(widget.font());
  layout.order = Ordered(fix);
  layout.scaleWidth = metrics.horizontalAdvance("dB-Hz") + 6;
  layout.top = metrics.height();
  layout.floor = widget.height() - metrics.horizontalAdvance("G000") - 6;
  int groups = 0;
  for (size_t i = 0; i < layout.order.size(); ++i) {
    groups += i == 0 ||
              fix.satellites[layout.order[i]].system != fix.satellites[layout.order[i - 1]].system;
  }
  double places = static_cast<double>(layout.order.size()) + std::max(0, groups - 1) * 0.6;
  layout.width = (widget.width() - layout.scaleWidth - 6) / std::max(1.0, places);
  double x = layout.scaleWidth;
  for (size_t i = 0; i < layout.order.size(); ++i) {
    if (i > 0 &&
        fix.satellites[layout.order[i]].system != fix.satellites[layout.order[i - 1]].system) {
      x += layout.width * 0.6;
    }
    layout.left.push_back(x);
    x += layout.width;
  }
  return layout;
}

double LevelY(const BarLayout& layout, int snr) {
  return layout.floor - std::clamp(snr, 0, kTopSignal) / static_cast<double>(kTopSignal) *
                            (layout.floor - layout.top);
}

}  // namespace

void SignalBars::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Frame(painter, *this);
  BarLayout layout = LayBars(fix_, *this);
  QFontMetricsF metrics(font());
  for (int level = 10; level <= 50; level += 10) {  // the scale
    double y = LevelY(layout, level);
    painter.setPen(kGrid);
    painter.drawLine(QPointF(layout.scaleWidth, y), QPointF(width() - 4, y));
    painter.setPen(QColor(0x60, 0x60, 0x60));
    painter.drawText(QRectF(2, y - metrics.height() / 2, layout.scaleWidth - 6, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(level));
  }
  painter.drawText(QRectF(2, 0, layout.scaleWidth, metrics.height()), Qt::AlignLeft, "dB-Hz");
  for (size_t i = 0; i < layout.order.size(); ++i) {
    const SatelliteInView& satellite = fix_.satellites[layout.order[i]];
    QColor colour = SystemColour(satellite.system);
    double x = layout.left[i] + 1, w = std::max(2.0, layout.width - 2);
    if (satellite.signal >= 0) {
      double y = LevelY(layout, satellite.signal);
      painter.setPen(colour);
      painter.setBrush(satellite.used ? QBrush(colour) : Qt::NoBrush);
      painter.drawRect(QRectF(x, y, w, layout.floor - y));
      painter.setPen(QPen(colour.darker(170), 1.5));
      for (int s = 0; s < satellite.signalCount; ++s) {  // its other signals
        int snr = satellite.bySignal[s].snr;
        if (snr < 0 || snr == satellite.signal) continue;
        double level = LevelY(layout, snr);
        painter.drawLine(QPointF(x, level), QPointF(x + w, level));
      }
    }
    painter.save();  // the label, turned to fit a narrow bar
    painter.setPen(colour.darker(130));
    painter.translate(x + w / 2 + metrics.ascent() / 2 - 1, layout.floor + 3);
    painter.rotate(-90);
    painter.drawText(QRectF(-(height() - layout.floor), -metrics.ascent(),
                            height() - layout.floor - 4, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, Label(satellite));
    painter.restore();
  }
  painter.setBrush(Qt::NoBrush);
}

int SignalBars::BarAt(int x) const {
  BarLayout layout = LayBars(fix_, *this);
  for (size_t i = 0; i < layout.order.size(); ++i) {
    if (x >= layout.left[i] && x < layout.left[i] + layout.width) return layout.order[i];
  }
  return -1;
}

// The satellite under the pointer with each of its signals.
bool SignalBars::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  auto* help = static_cast<QHelpEvent*>(event);
  int index = BarAt(help->pos().x());
  if (index < 0) {
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  const SatelliteInView& satellite = fix_.satellites[index];
  QString text =
      QString("%1 (%2)%3")
          .arg(Label(satellite), GnssSystemName(satellite.system), satellite.used ? ", used" : "");
  for (int s = 0; s < satellite.signalCount; ++s) {
    const SignalInView& signal = satellite.bySignal[s];
    QString name = SignalName(satellite.system, signal.id);
    if (name.isEmpty()) name = signal.id > 0 ? QString("signal %1").arg(signal.id) : "signal";
    text += "\n" + name + ": " +
            (signal.snr >= 0 ? QString("%1 dB-Hz").arg(signal.snr) : QString("not tracked"));
  }
  QToolTip::showText(help->globalPos(), text, this);
  return true;
}

ScatterPlot::ScatterPlot(QWidget* parent, const PositionScatter& scatter)
    : QWidget(parent), scatter_(scatter) {
  setMinimumSize(260, 260);
}

namespace {

// A readable length for the scatter's scale: 1, 2 or 5 times a power of ten metres.
double RoundLength(double metres) {
  double power = std::pow(10.0, std::floor(std::log10(metres)));
  for (double step : {1.0, 2.0, 5.0, 10.0}) {
    if (step * power >= metres) return step * power;
  }
  return 10 * power;
}

}  // namespace

void ScatterPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Frame(painter, *this);
  QFontMetricsF metrics(font());
  ScatterStatistics stats = ScatterStatisticsOf(scatter_);
  if (stats.count == 0) {
    painter.drawText(rect(), Qt::AlignCenter, "No position yet");
    return;
  }
  // The 95% circle fills most of the picture; a still receiver's spread shows as it is.
  double span = RoundLength(std::max(stats.radius95 * 1.25, 0.005));
  double lines = metrics.height();
  QRectF area(lines * 2.5, lines * 3, width() - lines * 4, height() - lines * 6.2);
  double scale = std::min(area.width(), area.height()) / 2.0 / span;
  QPointF centre = area.center();
  for (int tick = -2; tick <= 2; ++tick) {  // the axes, marked every half span
    double offset = tick * span / 2 * scale;
    painter.setPen(tick == 0 ? QColor(0xA0, 0xA0, 0xA0) : kGrid);
    painter.drawLine(centre + QPointF(offset, -span * scale),
                     centre + QPointF(offset, span * scale));
    painter.drawLine(centre + QPointF(-span * scale, offset),
                     centre + QPointF(span * scale, offset));
    if (tick % 2 != 0) continue;
    painter.setPen(QColor(0x60, 0x60, 0x60));
    QString text = LengthText(tick * span / 2);
    painter.drawText(QRectF(centre.x() + offset - 40, centre.y() + span * scale + 1, 80, lines),
                     Qt::AlignHCenter | Qt::AlignTop, text);
    painter.drawText(
        QRectF(0, centre.y() - offset - lines / 2, centre.x() - span * scale - 2, lines),
        Qt::AlignRight | Qt::AlignVCenter, text);
  }
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
  painter.drawText(QRectF(4, 2, width() - 8, 2 * lines), Qt::AlignLeft,
                   QString("%1 positions about their mean\nheight's spread (1 sd) %2")
                       .arg(stats.count)
                       .arg(LengthText(stats.sdUp)));
  painter.drawText(QRectF(4, height() - 2.1 * lines, width() - 8, 2 * lines), Qt::AlignLeft,
                   QString("east across, north up\nhalf within %1, 95% within %2")
                       .arg(LengthText(stats.radius50), LengthText(stats.radius95)));
}

TimelinePlot::TimelinePlot(QWidget* parent, const FixTimeline& timeline)
    : QWidget(parent), timeline_(timeline) {
  setMinimumSize(360, 130);
}

void TimelinePlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Frame(painter, *this);
  QFontMetricsF metrics(font());
  double lines = metrics.height();
  QRectF area(metrics.horizontalAdvance("40") + 8, lines * 1.4, 0, 0);
  area.setRight(width() - metrics.horizontalAdvance("5.0") - 10);
  area.setBottom(height() - lines * 1.4);
  painter.setPen(Qt::black);
  painter.drawText(QRectF(4, 1, width() - 8, lines), Qt::AlignHCenter,
                   "the last hour: satellites used (blue, left) and HDOP (orange, right)");
  for (int step = 0; step <= 5; ++step) {  // the scales: 0 to 50 used, 0 to 5 HDOP
    double y = area.bottom() - step / 5.0 * area.height();
    painter.setPen(kGrid);
    painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    painter.setPen(kUsedLine);
    painter.drawText(QRectF(0, y - lines / 2, area.left() - 4, lines),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(step * 10));
    painter.setPen(kHdopLine);
    painter.drawText(QRectF(area.right() + 4, y - lines / 2, width() - area.right() - 4, lines),
                     Qt::AlignLeft | Qt::AlignVCenter, QString::number(step));
  }
  painter.setPen(QColor(0x60, 0x60, 0x60));
  for (int minutes = 60; minutes >= 0; minutes -= 15) {  // minutes back
    double x = area.right() - minutes / 60.0 * area.width();
    QString text = minutes == 0 ? "now" : QString("-%1 min").arg(minutes);
    painter.drawText(QRectF(x - 40, area.bottom() + 1, 80, lines), Qt::AlignHCenter, text);
  }
  if (timeline_.count < 2) return;
  std::time_t last = TimelineAt(timeline_, timeline_.count - 1).when;
  auto x = [&](std::time_t when) {
    return area.right() - static_cast<double>(last - when) / kTimelineSeconds * area.width();
  };
  QPainterPath used, hdop;
  bool usedStarted = false, hdopStarted = false;
  for (int i = 0; i < timeline_.count; ++i) {
    const FixSample& sample = TimelineAt(timeline_, i);
    if (sample.used >= 0) {
      QPointF at(x(sample.when), area.bottom() - std::min(sample.used, 50) / 50.0 * area.height());
      usedStarted ? used.lineTo(at) : used.moveTo(at);
      usedStarted = true;
    }
    if (sample.hdop >= 0) {
      QPointF at(x(sample.when), area.bottom() - std::min(sample.hdop, 5.0) / 5.0 * area.height());
      hdopStarted ? hdop.lineTo(at) : hdop.moveTo(at);
      hdopStarted = true;
    }
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(kUsedLine, 1.5));
  painter.drawPath(used);
  painter.setPen(QPen(kHdopLine, 1.5));
  painter.drawPath(hdop);
}
