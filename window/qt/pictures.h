#pragma once

#include <QColor>
#include <QImage>

// The window's pictures, drawn: the loudspeaker at any size and in the
// colours of any palette, and the pause button.
namespace vellora {

struct SpeakerColours {
  QColor outline, body, light, waves;
};
// The classic loudspeaker's colours: grey, with blue sound waves.
SpeakerColours classicSpeakerColours();
// The classic colours, with the outline and the waves moved away from
// `background` until their smoothed lines stand out from it by 3:1; on a
// light background the classic colours themselves.
SpeakerColours speakerColoursFor(const QColor& background);

// The loudspeaker, `scale` times its 19-pixel size, on a transparent background.
QImage drawSpeaker(double scale, const SpeakerColours& colours);
// The 30 x 33 pause button on `background`; its rim is drawn without
// smoothing, so that on white and on red only the background differs.
QImage drawPauseButton(const QColor& background);

}  // namespace vellora
