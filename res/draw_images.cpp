// SPDX-License-Identifier: BSD-2-Clause
// Draws the panel's pictures: the five two-line key faces, the banner and the icon.
// Run once after changing a drawing; its output PNG files are committed beside it.
//   build/res/tarnex-draw-images res/

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

const QColor kYellow(255, 255, 0);
const QColor kKeyGreen(0, 128, 0);

enum class Symbol { kDown, kEnter, kEsc, kRight, kUp };

void DrawChevron(QPainter& p, QPointF a, QPointF tip, QPointF b) {
  QPainterPath path(a);
  path.lineTo(tip);
  path.lineTo(b);
  p.drawPath(path);
}

QImage KeyFace(Symbol symbol) {
  QImage image(53, 34, QImage::Format_ARGB32);
  image.fill(kYellow);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 2));
  p.setBrush(kKeyGreen);
  p.drawRoundedRect(QRectF(2, 2, 49, 30), 7, 7);
  p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  switch (symbol) {
    case Symbol::kDown:
      DrawChevron(p, {18, 13}, {26.5, 21}, {35, 13});
      break;
    case Symbol::kUp:
      DrawChevron(p, {18, 21}, {26.5, 13}, {35, 21});
      break;
    case Symbol::kRight:
      DrawChevron(p, {23, 9}, {31, 17}, {23, 25});
      break;
    case Symbol::kEnter: {
      QPainterPath path(QPointF(35, 9));
      path.lineTo(35, 20);
      path.lineTo(18, 20);
      p.drawPath(path);
      DrawChevron(p, {23, 15}, {18, 20}, {23, 25});
      break;
    }
    case Symbol::kEsc: {
      QFont font("DejaVu Sans");
      font.setBold(true);
      font.setPixelSize(13);
      p.setFont(font);
      p.setPen(Qt::white);
      p.drawText(QRectF(2, 2, 49, 30), Qt::AlignCenter, "ESC");
      break;
    }
  }
  return image.convertToFormat(QImage::Format_Indexed8);
}

QImage Banner() {
  QImage image(100, 26, QImage::Format_ARGB32);
  image.fill(QColor(200, 16, 32));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  // The emblem: a satellite dish's arcs over a point.
  p.drawEllipse(QPointF(13, 16), 3, 3);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::black, 2));
  p.drawArc(QRectF(5, 8, 16, 16), 30 * 16, 120 * 16);
  p.drawArc(QRectF(1, 4, 24, 24), 30 * 16, 120 * 16);
  QFont font("DejaVu Sans");
  font.setBold(true);
  font.setPixelSize(14);
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(QRectF(27, 0, 73, 26), Qt::AlignVCenter | Qt::AlignLeft, "TARNEX");
  return image.convertToFormat(QImage::Format_Indexed8);
}

// The program's icon at any size: drawn on a 32 x 32 grid, scaled.
QImage Icon(int size = 32) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  p.setPen(QPen(Qt::black, 2));
  p.setBrush(kYellow);
  p.drawRoundedRect(QRectF(2, 4, 28, 24), 4, 4);
  p.setBrush(QColor(0, 255, 0));
  p.drawRect(QRectF(6, 8, 20, 9));
  p.setPen(Qt::NoPen);
  p.setBrush(kKeyGreen);
  for (int i = 0; i < 3; ++i) p.drawRect(QRectF(6 + i * 7.5, 20, 5, 4));
  return image;
}

bool Save(const QImage& image, const QString& path) {
  if (image.save(path)) return true;
  std::fprintf(stderr, "could not write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  QString dir = argc > 1 ? QString(argv[1]) + "/" : QString();
  bool ok = Save(KeyFace(Symbol::kDown), dir + "103.png") &&
            Save(KeyFace(Symbol::kEnter), dir + "105.png") &&
            Save(KeyFace(Symbol::kEsc), dir + "108.png") &&
            Save(KeyFace(Symbol::kRight), dir + "109.png") &&
            Save(KeyFace(Symbol::kUp), dir + "112.png") && Save(Banner(), dir + "116.png") &&
            Save(Icon(), dir + "Tarnex.png");
  // The desktop's icon theme sizes, for installing.
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    ok = ok && Save(Icon(size), dir + QString("icons/tarnex-%1.png").arg(size));
  }
  return ok ? 0 : 1;
}
