#pragma once

#include <cstdint>

// Colour contrast as WCAG 2.2 measures it, for what both windows draw in
// the desktop's colours: links, the focus frame, the loudspeakers.
namespace vellora {

struct Rgb {
  std::uint8_t red, green, blue;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// 0 for black to 1 for white, from the sRGB channels.
double relativeLuminance(Rgb colour);
// From 1:1 (the same colour) to 21:1 (black on white).
double contrastRatio(Rgb a, Rgb b);
// `colour`, or moved towards white on a dark background (black on a light
// one) until it stands out from `background` by `ratio`.
Rgb readableColour(Rgb colour, Rgb background, double ratio);

// WCAG's least contrasts: 4.5:1 for text, 3:1 for the parts of controls
// and the focus frame.
inline constexpr double kTextContrast = 4.5;
inline constexpr double kControlContrast = 3.0;

}  // namespace vellora
