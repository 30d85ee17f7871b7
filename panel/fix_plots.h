// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <QWidget>

#include "fix/fix_state.h"
#include "fix/fix_timeline.h"
#include "fix/position_scatter.h"

// The Fix window's pictures, drawn with QPainter from state the window holds; each only
// draws (in the window's font, which grows with its zoom). Satellites are named as their
// systems number them (G10, R10, E10, C10, J, S, I) and coloured by system, with a legend;
// the used ones are filled.

// The colour a system's satellites have in every picture.
QColor SystemColour(int system);

// Elevation and azimuth of each satellite in view, north up, with the 30 and 60 degree
// rings marked; labels never cover each other (one that finds no room is left out).
class SkyPlot : public QWidget {
 public:
  SkyPlot(QWidget* parent, const FixState& fix);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  const FixState& fix_;
};

// Each satellite's strongest signal (C/N0, dB-Hz, on a scale) as a bar, grouped by system
// and in order of number; its other signals as marks on the bar, and all of them in the
// tooltip.
class SignalBars : public QWidget {
 public:
  SignalBars(QWidget* parent, const FixState& fix);

 protected:
  void paintEvent(QPaintEvent*) override;
  bool event(QEvent* event) override;

 private:
  int BarAt(int x) const;  // the satellite under x, or -1
  const FixState& fix_;
};

// The positions about their mean, metres east and north (axes marked in mm, cm or m), with
// the circles that hold half and 95% of them.
class ScatterPlot : public QWidget {
 public:
  ScatterPlot(QWidget* parent, const PositionScatter& scatter);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  const PositionScatter& scatter_;
};

// The last hour: satellites used and HDOP, each on its own marked scale, minutes back.
class TimelinePlot : public QWidget {
 public:
  TimelinePlot(QWidget* parent, const FixTimeline& timeline);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  const FixTimeline& timeline_;
};

// "2.5 mm", "1.2 cm", "45 cm", "3.20 m", "12.4 km": a length in the unit that reads best,
// never in exponent notation.
QString LengthText(double metres);
