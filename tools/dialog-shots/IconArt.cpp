// Draws the application icon (resource 128) at every size the program ships
// and writes them as PNGs: orbelt-<size>.png in the folder given.
//
// The picture: two overlapping lens rings, the left and right views of a
// stereo pair, whose overlap holds a stepped grey ramp - a disparity map in
// miniature, near surfaces bright and far ones dark. It is drawn as vectors
// for each size, with thicker strokes at the small sizes so the rings stay
// readable at 16 pixels.
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <cstdio>

namespace {

QImage drawIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 256.0, size / 256.0);

  // Tile: a deep blue rounded square.
  QLinearGradient tile(0, 0, 0, 256);
  tile.setColorAt(0.0, QColor(0x2b, 0x45, 0x6b));
  tile.setColorAt(1.0, QColor(0x14, 0x20, 0x36));
  p.setPen(Qt::NoPen);
  p.setBrush(tile);
  const double margin = size <= 24 ? 4 : 10;
  p.drawRoundedRect(QRectF(margin, margin, 256 - 2 * margin, 256 - 2 * margin), 44, 44);

  const double radius = 70;
  const QPointF left(97, 128);
  const QPointF right(159, 128);
  QPainterPath leftDisc;
  leftDisc.addEllipse(left, radius, radius);
  QPainterPath rightDisc;
  rightDisc.addEllipse(right, radius, radius);

  // The overlap: a stepped ramp from far (dark, top) to near (bright, bottom).
  const QPainterPath lens = leftDisc.intersected(rightDisc);
  p.save();
  p.setClipPath(lens);
  const int steps = size <= 24 ? 3 : 6;
  const QRectF box = lens.boundingRect();
  for (int i = 0; i < steps; ++i) {
    const int grey = 60 + (255 - 60) * i / (steps - 1);
    p.fillRect(QRectF(box.left(), box.top() + box.height() * i / steps, box.width(), box.height() / steps + 1),
               QColor(grey, grey, grey));
  }
  p.restore();

  // The two views: cool left ring, warm right ring.
  const double stroke = size <= 16 ? 26 : size <= 32 ? 20 : 14;
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0x4f, 0xd1, 0xe8), stroke));
  p.drawEllipse(left, radius, radius);
  p.setPen(QPen(QColor(0xf2, 0xa5, 0x41), stroke));
  p.drawEllipse(right, radius, radius);
  p.end();
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output-folder>\n", argv[0]);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  for (int size : {16, 24, 32, 48, 64, 256}) {
    const QString path = QStringLiteral("%1/orbelt-%2.png").arg(folder).arg(size);
    if (!drawIcon(size).save(path)) {
      std::fprintf(stderr, "orbelt-icon-art: cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
