#!/usr/bin/env bash
# Measures on screenshots of the real window under Xvfb, on the desktop's
# light palette and on a dark one, how the loudspeakers and the keyboard
# focus frame stand out from the window: each must reach 3:1, the least
# WCAG 2.2 asks of the parts of controls and of focus indicators.
# Usage: window_contrast.sh VELLORA SCREENSHOT_DIRECTORY
set -euo pipefail
vellora=$1
shots=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/window_session.sh"

need_x_tools xdotool import convert
make_work vellora-contrast
work=$WORK
mkdir -p "$shots"
classic_drive
# A dark palette, as dark desktop themes give one.
printf '* { background-color: #353535; color: #ffffff; selection-background-color: #2a82da; }\n' > "$work/dark.qss"

cat > "$work/drive.sh" <<'SCRIPT'
set -euo pipefail
source "$SESSION"
start_window $OPTIONS
sleep 0.5
xdotool mousemove 639 399  # no tooltip over a picture
import -window "$wid" "$SHOT-still.png"
# From the speed list, Tab reaches the boxes, the play picture, "latest",
# "explore..." and then the convert picture.
xdotool key --delay 100 Tab Tab Tab Tab Tab Tab
sleep 0.3
import -window "$wid" "$SHOT-focus.png"
SCRIPT

cat > "$work/measure.py" <<'PY'
import subprocess, sys

def image(path):
    ppm = subprocess.run(['convert', path, 'ppm:-'], check=True, capture_output=True).stdout
    parts, rest = ppm.split(maxsplit=4)[:4], ppm.split(maxsplit=4)[4]
    width, height = int(parts[1]), int(parts[2])
    return width, height, rest

def luminance(rgb):
    def channel(v):
        v /= 255
        return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4
    r, g, b = (channel(v) for v in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b

def ratio(a, b):
    la, lb = luminance(a), luminance(b)
    return (max(la, lb) + 0.05) / (min(la, lb) + 0.05)

def pixel(shot, x, y):
    width, _, data = shot
    i = 3 * (y * width + x)
    return tuple(data[i:i + 3])

def edge_contrast(shot, left, top, size, background):
    # The pixels of the picture beside one of the background, the strongest
    # tenth of them: the smoothed rim of a thin line does not count.
    inside = lambda x, y: left <= x < left + size and top <= y < top + size
    bg = lambda x, y: not inside(x, y) or pixel(shot, x, y) == background
    edge = sorted(ratio(pixel(shot, x, y), background)
                  for y in range(top, top + size) for x in range(left, left + size)
                  if not bg(x, y) and (bg(x - 1, y) or bg(x + 1, y) or bg(x, y - 1) or bg(x, y + 1)))
    return edge[len(edge) * 9 // 10] if edge else 1.0

name, still, focus = sys.argv[1], image(sys.argv[2]), image(sys.argv[3])
background = pixel(still, 2, 2)
# The pictures at (4920, 240) and (4920, 1080) twips, 19 pixels a side; the
# focus frame on the convert picture's left edge.
figures = {'play picture': edge_contrast(still, 328, 16, 19, background),
           'convert picture': edge_contrast(still, 328, 72, 19, background),
           'focus frame': ratio(pixel(focus, 328, 81), background)}
print(name + ': ' + ', '.join(f'{k} {v:.2f}:1' for k, v in figures.items()) + f' on #{bytes(background).hex()}')
sys.exit(0 if all(v >= 3 for v in figures.values()) else 1)
PY

# Both palettes in one X server: a second server started as the first one
# goes down may be given its display before it is free.
cat > "$work/both.sh" <<'SCRIPT'
set -euo pipefail
SHOT="$SHOTS/vellora-light" OPTIONS= bash "$WORK/drive.sh"
SHOT="$SHOTS/vellora-dark" OPTIONS="-stylesheet $WORK/dark.qss" bash "$WORK/drive.sh"
SCRIPT
SESSION=$here/window_session.sh VELLORA=$vellora WORK=$work SHOTS=$shots \
  xvfb-run -a -s "-screen 0 640x400x24" bash "$work/both.sh"
status=0
for palette in light dark; do
  python3 "$work/measure.py" "$palette" "$shots/vellora-$palette-still.png" "$shots/vellora-$palette-focus.png" || status=1
done
exit $status
