// SPDX-License-Identifier: MIT
// Draws the program's logo (an oval emblem bearing its name) and its icons
// into PNG files: loomwise-draw-icons <directory>.

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <cstdio>

namespace {

// A woven oval: warp and weft threads clipped to an ellipse, with a ring.
void drawEmblem(QPainter& p, const QRectF& oval, bool withName) {
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(oval.topLeft(), oval.bottomRight());
  fill.setColorAt(0.0, QColor(0x2d, 0x6c, 0x9c));
  fill.setColorAt(1.0, QColor(0x14, 0x35, 0x55));
  QPainterPath path;
  path.addEllipse(oval);
  p.fillPath(path, fill);

  p.save();
  p.setClipPath(path);
  const qreal step = oval.width() / 9.0;
  QPen thread(QColor(255, 255, 255, 46), step * 0.38);
  p.setPen(thread);
  for (qreal x = oval.left() + step / 2; x < oval.right(); x += step) {
    p.drawLine(QPointF(x, oval.top()), QPointF(x, oval.bottom()));
  }
  thread.setColor(QColor(0xf2, 0xc1, 0x4e, 70));
  p.setPen(thread);
  for (qreal y = oval.top() + step / 2; y < oval.bottom(); y += step) {
    p.drawLine(QPointF(oval.left(), y), QPointF(oval.right(), y));
  }
  p.restore();

  const qreal ring = qMax<qreal>(2.0, oval.width() / 28.0);
  p.setPen(QPen(QColor(0xf2, 0xc1, 0x4e), ring));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(oval.adjusted(ring, ring, -ring, -ring));

  if (withName) {
    QFont font("DejaVu Serif");
    font.setBold(true);
    font.setPixelSize(static_cast<int>(oval.width() / 6.6));
    p.setFont(font);
    const QRectF band(oval.left(), oval.center().y() - font.pixelSize() * 0.9, oval.width(),
                      font.pixelSize() * 1.8);
    p.fillRect(band.adjusted(ring * 1.5, 0, -ring * 1.5, 0), QColor(0xf7, 0xf3, 0xe8));
    p.setPen(QColor(0x14, 0x35, 0x55));
    p.drawText(band, Qt::AlignCenter, QStringLiteral("Loomwise"));
  } else {
    QFont font("DejaVu Serif");
    font.setBold(true);
    font.setPixelSize(static_cast<int>(oval.height() * 0.55));
    p.setFont(font);
    p.setPen(QColor(0xf7, 0xf3, 0xe8));
    p.drawText(oval, Qt::AlignCenter, QStringLiteral("L"));
  }
}

bool save(const QImage& image, const QString& path) {
  if (image.save(path)) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: loomwise-draw-icons <directory>\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);

  QImage logo(134, 172, QImage::Format_ARGB32_Premultiplied);
  logo.fill(Qt::transparent);
  {
    QPainter p(&logo);
    drawEmblem(p, QRectF(3, 3, 128, 166), true);
  }
  bool ok = save(logo, dir + "/logo.png");

  for (int size : {64, 128}) {
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    {
      QPainter p(&icon);
      const qreal m = size / 16.0;
      drawEmblem(p, QRectF(m * 1.5, m, size - m * 3, size - m * 2), false);
    }
    ok = save(icon, dir + QString("/loomwise-%1.png").arg(size)) && ok;
  }
  return ok ? 0 : 1;
}
