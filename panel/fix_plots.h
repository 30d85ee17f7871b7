// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <QWidget>

#include "fix/fix_state.h"
#include "fix/fix_timeline.h"
#include "fix/position_scatter.h"

// The Fix window's pictures, drawn with QPainter from state the window holds; each only
// draws.

// The colour a system's satellites have in every picture.
QColor SystemColour(int system);

// Elevation and azimuth of each satellite in view, north up; used ones filled.
class SkyPlot : public QWidget {
 public:
  SkyPlot(QWidget* parent, const FixState& fix);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  const FixState& fix_;
};

// Each satellite's signal (C/N0, dB-Hz) as a bar; used ones filled.
class SignalBars : public QWidget {
 public:
  SignalBars(QWidget* parent, const FixState& fix);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  const FixState& fix_;
};

// The positions about their mean in metres east and north, with the circles that hold
// half and 95% of them.
class ScatterPlot : public QWidget {
 public:
  ScatterPlot(QWidget* parent, const PositionScatter& scatter);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  const PositionScatter& scatter_;
};

// The last hour: satellites used and HDOP.
class TimelinePlot : public QWidget {
 public:
  TimelinePlot(QWidget* parent, const FixTimeline& timeline);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  const FixTimeline& timeline_;
};
