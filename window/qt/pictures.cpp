#include "window/qt/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

#include "window/contrast.h"

namespace vellora {

namespace {

Rgb rgbOf(const QColor& c) {
  return {static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
          static_cast<std::uint8_t>(c.blue())};
}

// A colour that stands out by 3:1 is kept, so the classic picture stays on
// a light window; one that does not is moved on to the contrast of text,
// for a thin line is smoothed into the background at its edges.
QColor readable(const QColor& colour, const QColor& background) {
  if (contrastRatio(rgbOf(colour), rgbOf(background)) >= kControlContrast) return colour;
  const Rgb c = readableColour(rgbOf(colour), rgbOf(background), kTextContrast);
  return QColor(c.red, c.green, c.blue);
}

}  // namespace

SpeakerColours classicSpeakerColours() {
  return {QColor(70, 70, 70), QColor(140, 140, 140), QColor(205, 205, 205), QColor(30, 70, 230)};
}

SpeakerColours speakerColoursFor(const QColor& background) {
  SpeakerColours colours = classicSpeakerColours();
  // The outline and the waves draw the picture's shape; the fill inside the
  // outline may stay as it is.
  colours.outline = readable(colours.outline, background);
  colours.waves = readable(colours.waves, background);
  return colours;
}

QImage drawSpeaker(double scale, const SpeakerColours& colours) {
  const int side = static_cast<int>(std::lround(19 * scale));
  QImage image(side, side, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(scale, scale);
  // Seen at an angle: the drawing turns so that the sound goes to the lower right.
  p.translate(6.0, 6.5);
  p.rotate(40);

  p.setPen(QPen(colours.outline, 0.8));
  p.setBrush(colours.body);
  p.drawRect(QRectF(-4.6, -2.0, 2.8, 4.0));

  QPainterPath cone;
  cone.moveTo(-1.8, -2.0);
  cone.lineTo(1.8, -5.2);
  cone.lineTo(1.8, 5.2);
  cone.lineTo(-1.8, 2.0);
  cone.closeSubpath();
  QLinearGradient shade(-1.8, 0, 1.8, 0);
  shade.setColorAt(0, colours.body);
  shade.setColorAt(1, colours.light);
  p.setBrush(shade);
  p.drawPath(cone);

  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(colours.waves, 1.0, Qt::SolidLine, Qt::RoundCap));
  for (const double r : {5.0, 8.0, 11.0})
    p.drawArc(QRectF(-r + 0.5, -r, 2 * r, 2 * r), -32 * 16, 64 * 16);
  return image;
}

QImage drawPauseButton(const QColor& background) {
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

}  // namespace vellora
