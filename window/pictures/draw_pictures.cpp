// Draws the window's three pictures and writes them as PNG files into the
// directory given as the only argument:
//   speaker.png      19 x 19, the play and convert images, on a transparent background
//   speaker-large.png 76 x 76, the same drawing, for larger fonts and screens
//   pause-white.png  30 x 33, the pause image
//   pause-red.png    30 x 33, the resume image: the same button on red
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <cmath>
#include <cstdio>

namespace {

QImage speaker(int scale) {
  QImage image(19 * scale, 19 * scale, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(scale, scale);
  // Seen at an angle: the drawing turns so that the sound goes to the lower right.
  p.translate(6.0, 6.5);
  p.rotate(40);

  const QColor outline(70, 70, 70), body(140, 140, 140), light(205, 205, 205);
  p.setPen(QPen(outline, 0.8));
  p.setBrush(body);
  p.drawRect(QRectF(-4.6, -2.0, 2.8, 4.0));

  QPainterPath cone;
  cone.moveTo(-1.8, -2.0);
  cone.lineTo(1.8, -5.2);
  cone.lineTo(1.8, 5.2);
  cone.lineTo(-1.8, 2.0);
  cone.closeSubpath();
  QLinearGradient shade(-1.8, 0, 1.8, 0);
  shade.setColorAt(0, body);
  shade.setColorAt(1, light);
  p.setBrush(shade);
  p.drawPath(cone);

  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(30, 70, 230), 1.0, Qt::SolidLine, Qt::RoundCap));
  for (const double r : {5.0, 8.0, 11.0})
    p.drawArc(QRectF(-r + 0.5, -r, 2 * r, 2 * r), -32 * 16, 64 * 16);
  return image;
}

// The button is drawn without smoothing at its rim, so that on white and on
// red it has exactly the same pixels and only the background differs.
QImage pauseButton(const QColor& background) {
  QImage image(30, 33, QImage::Format_RGB888);
  image.fill(background);
  const double cx = 14.5, cy = 16.0, radius = 14.2;

  QRadialGradient glow(cx - 4, cy - 5, radius * 1.6);
  glow.setColorAt(0.0, QColor(178, 170, 255));
  glow.setColorAt(0.45, QColor(104, 88, 228));
  glow.setColorAt(1.0, QColor(44, 28, 150));
  QImage shaded(image.size(), QImage::Format_RGB888);
  {
    QPainter p(&shaded);
    p.fillRect(shaded.rect(), glow);
    p.setRenderHint(QPainter::Antialiasing);
    // The gloss: a pale lens across the upper half.
    QLinearGradient gloss(0, cy - radius, 0, cy);
    gloss.setColorAt(0, QColor(255, 255, 255, 200));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawEllipse(QRectF(cx - radius * 0.72, cy - radius * 0.95, radius * 1.44, radius * 0.95));
    // The pause sign.
    p.setBrush(QColor(16, 20, 96));
    p.drawRoundedRect(QRectF(cx - 5.5, cy - 7.0, 3.8, 14.0), 1.0, 1.0);
    p.drawRoundedRect(QRectF(cx + 1.7, cy - 7.0, 3.8, 14.0), 1.0, 1.0);
  }
  const QColor rim(36, 22, 120);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
      if (d <= radius - 1.0) image.setPixelColor(x, y, shaded.pixelColor(x, y));
      else if (d <= radius) image.setPixelColor(x, y, rim);
    }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_pictures OUTPUT_DIRECTORY\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]) + "/";
  const bool ok = speaker(1).save(dir + "speaker.png") && speaker(4).save(dir + "speaker-large.png") &&
                  pauseButton(Qt::white).save(dir + "pause-white.png") &&
                  pauseButton(QColor(255, 0, 0)).save(dir + "pause-red.png");
  return ok ? 0 : 1;
}
