#include "window/contrast.h"

#include <algorithm>
#include <cmath>

namespace vellora {

namespace {

double linear(std::uint8_t channel) {
  const double v = channel / 255.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

std::uint8_t mix(std::uint8_t from, std::uint8_t to, double t) {
  return static_cast<std::uint8_t>(std::lround(from + (to - from) * t));
}

}  // namespace

double relativeLuminance(Rgb c) {
  return 0.2126 * linear(c.red) + 0.7152 * linear(c.green) + 0.0722 * linear(c.blue);
}

double contrastRatio(Rgb a, Rgb b) {
  const double la = relativeLuminance(a), lb = relativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb readableColour(Rgb colour, Rgb background, double ratio) {
  // Below this luminance white stands out more than black does.
  const bool dark = relativeLuminance(background) < 0.18;
  const Rgb towards = dark ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
  Rgb c = colour;
  for (int step = 1; step <= 20 && contrastRatio(c, background) < ratio; ++step) {
    const double t = step / 20.0;
    c = {mix(colour.red, towards.red, t), mix(colour.green, towards.green, t),
         mix(colour.blue, towards.blue, t)};
  }
  return c;
}

}  // namespace vellora
