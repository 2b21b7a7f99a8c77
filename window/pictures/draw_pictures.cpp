// Draws the window's pictures and writes them as PNG files into the
// directory given as the only argument, for the Win32 window's icons (the
// Qt window draws them itself, for its palette and size):
//   speaker.png      19 x 19, the play and convert images, on a transparent background
//   pause-white.png  30 x 33, the pause image
//   pause-red.png    30 x 33, the resume image: the same button on red
#include <QString>
#include <cstdio>

#include "window/qt/pictures.h"

int main(int argc, char** argv) {
  using namespace vellora;
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_pictures OUTPUT_DIRECTORY\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]) + "/";
  const bool ok = drawSpeaker(1, classicSpeakerColours()).save(dir + "speaker.png") &&
                  drawPauseButton(Qt::white).save(dir + "pause-white.png") &&
                  drawPauseButton(QColor(255, 0, 0)).save(dir + "pause-red.png");
  return ok ? 0 : 1;
}
