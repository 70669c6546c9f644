#include "GUI2/wizard_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

const QColor ink(0x1F, 0x4E, 0x79);
const QColor paper(0xF4, 0xF8, 0xFC);
const QColor leaf(0x3A, 0x9A, 0x5B);

// A quill over a small grid of cells.
void draw_mark(QPainter& p, const QRectF& box) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  qreal cell = box.width() / 4;
  p.setPen(QPen(ink, std::max<qreal>(1, box.width() / 48)));
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      QRectF rc(box.left() + c * cell, box.top() + box.height() * 0.35 + r * cell * 0.7, cell, cell * 0.7);
      p.fillRect(rc, r == 0 ? leaf.lighter(150) : Qt::white);
      p.drawRect(rc);
    }
  QPainterPath quill;
  quill.moveTo(box.left() + box.width() * 0.95, box.top() + box.height() * 0.05);
  quill.cubicTo(box.left() + box.width() * 0.55, box.top() + box.height() * 0.1,
                box.left() + box.width() * 0.45, box.top() + box.height() * 0.45,
                box.left() + box.width() * 0.5, box.top() + box.height() * 0.95);
  quill.cubicTo(box.left() + box.width() * 0.62, box.top() + box.height() * 0.55,
                box.left() + box.width() * 0.8, box.top() + box.height() * 0.3,
                box.left() + box.width() * 0.95, box.top() + box.height() * 0.05);
  p.fillPath(quill, ink);
  p.restore();
}

QPixmap watermark() {
  QPixmap pixmap(164, 314);
  QPainter p(&pixmap);
  QLinearGradient g(0, 0, 0, pixmap.height());
  g.setColorAt(0, ink);
  g.setColorAt(1, ink.lighter(180));
  p.fillRect(pixmap.rect(), g);
  draw_mark(p, QRectF(32, 40, 100, 100));
  return pixmap;
}

QPixmap header() {
  QPixmap pixmap(49, 49);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  draw_mark(p, QRectF(2, 2, 45, 45));
  return pixmap;
}

QPixmap program_icon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(paper);
  QPainter p(&pixmap);
  draw_mark(p, QRectF(size * 0.05, size * 0.05, size * 0.9, size * 0.9));
  return pixmap;
}

// Eight dots on a ring; the frame's dot is dark, the two behind it fade.
QPixmap animation_frame(int frame) {
  const int size = 32;
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 8; ++i) {
    double angle = i * M_PI / 4 - M_PI / 2;
    int behind = (frame - i + 8) % 8;
    QColor c = behind == 0 ? ink : behind == 1 ? ink.lighter(160) : behind == 2 ? ink.lighter(220) : QColor(0xDD, 0xE3, 0xEA);
    p.setBrush(c);
    p.drawEllipse(QPointF(size / 2 + 11 * std::cos(angle), size / 2 + 11 * std::sin(angle)), 3.5, 3.5);
  }
  return pixmap;
}

}  // namespace

QPixmap load_bitmap(int id) {
  switch (id) {
    case 311: return watermark();
    case 312: return header();
    default: return QPixmap();
  }
}

QIcon load_icon(int id) {
  if (id == 501) {
    QIcon icon;
    for (int size : {16, 32, 48}) icon.addPixmap(program_icon(size));
    return icon;
  }
  if (id >= 502 && id < 510) return QIcon(animation_frame(id - 502));
  return QIcon();
}
