#include "app/Glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace glyphs {

namespace {

const QColor kInk(0, 0, 0);
const QColor kShadow(0x80, 0x80, 0x80);

// Draws the picture twice: first one pixel down and right in the shadow
// colour, then in black on top.
QPixmap Draw(int size, const std::function<void(QPainter&, const QColor&)>& picture) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.save();
  p.translate(1, 1);
  picture(p, kShadow);
  p.restore();
  picture(p, kInk);
  return pm;
}

void Triangle(QPainter& p, const QColor& c, QPointF a, QPointF b, QPointF d) {
  QPainterPath path;
  path.moveTo(a);
  path.lineTo(b);
  path.lineTo(d);
  path.closeSubpath();
  p.fillPath(path, c);
}

void Bar(QPainter& p, const QColor& c) { p.fillRect(3, 17, 16, 2, c); }

}  // namespace

QPixmap SetStart() {
  return Draw(23, [](QPainter& p, const QColor& c) {
    p.fillRect(4, 3, 2, 11, c);  // [
    p.fillRect(4, 3, 4, 2, c);
    p.fillRect(4, 12, 4, 2, c);
    p.fillRect(9, 8, 6, 1, c);  // arrow shaft
    Triangle(p, c, {14, 4.5}, {19, 8.5}, {14, 12.5});
    Bar(p, c);
  });
}

QPixmap SetStop() {
  return Draw(23, [](QPainter& p, const QColor& c) {
    Triangle(p, c, {8, 4.5}, {3, 8.5}, {8, 12.5});
    p.fillRect(8, 8, 6, 1, c);    // arrow shaft
    p.fillRect(16, 3, 2, 11, c);  // ]
    p.fillRect(14, 3, 4, 2, c);
    p.fillRect(14, 12, 4, 2, c);
    Bar(p, c);
  });
}

QPixmap Prev() {
  return Draw(23, [](QPainter& p, const QColor& c) {
    Triangle(p, c, {11, 5}, {3, 11}, {11, 17});
    Triangle(p, c, {19, 5}, {11, 11}, {19, 17});
  });
}

QPixmap Stop() {
  return Draw(23, [](QPainter& p, const QColor& c) { p.fillRect(6, 6, 10, 10, c); });
}

QPixmap Play() {
  return Draw(23, [](QPainter& p, const QColor& c) { Triangle(p, c, {7, 4}, {16, 11}, {7, 18}); });
}

QPixmap Next() {
  return Draw(23, [](QPainter& p, const QColor& c) {
    Triangle(p, c, {3, 5}, {11, 11}, {3, 17});
    Triangle(p, c, {11, 5}, {19, 11}, {11, 17});
  });
}

QPixmap OpenFile() {
  return Draw(23, [](QPainter& p, const QColor& c) {
    p.setPen(c);
    p.setBrush(Qt::NoBrush);
    // folder back with its tab
    p.drawLine(2, 6, 2, 17);
    p.drawLine(2, 6, 4, 4);
    p.drawLine(4, 4, 8, 4);
    p.drawLine(8, 4, 10, 6);
    p.drawLine(10, 6, 16, 6);
    p.drawLine(16, 6, 16, 9);
    // open front leaf
    QPolygon leaf;
    leaf << QPoint(2, 17) << QPoint(6, 9) << QPoint(20, 9) << QPoint(16, 17);
    p.drawPolygon(leaf);
  });
}

QPixmap StartProcess() {
  return Draw(22, [](QPainter& p, const QColor& c) {
    p.setPen(c);
    p.setBrush(Qt::NoBrush);
    // three stacked file boxes
    p.drawRect(1, 1, 7, 4);
    p.drawRect(1, 7, 7, 4);
    p.drawRect(1, 13, 7, 4);
    // an arrow pointing down...
    p.fillRect(14, 1, 2, 7, c);
    Triangle(p, c, {11, 8}, {15, 12}, {19, 8});
    // ...into one lined box
    p.drawRect(10, 13, 10, 6);
    p.drawLine(12, 15, 18, 15);
    p.drawLine(12, 17, 18, 17);
  });
}

}  // namespace glyphs
